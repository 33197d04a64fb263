#pragma once

#include "link/portname.h"

#include <QtGlobal>
#include <functional>
#include <utility>

class SerialLink;

// Seconds since 1970 (UTC); tests drive their own.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual qint64 Now() = 0;
    // The download's fixed pauses (the settling of the line, the pause before
    // the list is read again). Really sleeps unless overridden.
    virtual void Sleep(int milliseconds);
};

class SystemClock : public Clock
{
public:
    qint64 Now() override;
};

// The progress display of a download. Called from the thread that runs the
// exchange: Start once the port is ready, Advance for every event taken,
// Finish when the exchange is over (always before any message is shown).
class DownloadProgress
{
public:
    virtual ~DownloadProgress() = default;
    virtual void Start() = 0;
    virtual void Advance() = 0;
    virtual void Finish() = 0;
};

// What a download needs from the program that runs it: the link to the
// receiver, the port it reaches (parsed where it entered the program), a
// clock, a progress display (or none) and the way the work is run.
class DownloadServices
{
public:
    DownloadServices(SerialLink& link, Clock& clock, DownloadProgress* progress, PortName port)
        : link(link), clock(clock), progress(progress), port(std::move(port))
    {
    }
    virtual ~DownloadServices() = default;

    // Runs the exchange with the receiver and the storing of the events. The
    // default runs it at once; the desktop runs it on a worker thread and keeps
    // its windows painting meanwhile. job touches no shared database object.
    virtual void Execute(const std::function<void()>& job) { job(); }

    SerialLink& link;
    Clock& clock;
    DownloadProgress* progress;
    PortName port;
};
