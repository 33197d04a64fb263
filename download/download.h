#pragma once

#include "db/location/location.h"
#include "db/record/database.h"
#include "db/record/events.h"
#include "download/outcome.h"

class Clock;
class DownloadProgress;
class DownloadServices;
class FileReadLock;
class SerialLink;

namespace download {

class FrameExchange;

// One download of the receiver's new events into a database: the private
// connection and the read lock, the exchange with the receiver
// (download/frameexchange.h), the dating and storing of the events. Runs on
// whatever thread calls Run(), touches no shared database object and shows
// nothing: what it found is its outcome.
class Download
{
public:
    // database: where the events go, on a connection of the download's own;
    // readLock: the lock that keeps a second read out of that file (none for
    // a server, whose lock is taken on the connection). services gives the
    // link, the port, the clock and the progress display.
    Download(Location database, FileReadLock* readLock, DownloadServices& services);
    ~Download();
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    Outcome Run();

private:
    void RunChecked();
    void Store(const FrameExchange& exchange);
    bool LostConnection();
    QString Database() const { return m_location.Shown(); }
    void FinishProgress();
    void Release();
    void ReleaseQuietly() noexcept;

    const Location m_location;
    FileReadLock* m_readLock;
    SerialLink& m_link;
    Clock& m_clock;
    DownloadProgress* m_progress;
    const PortName m_port;

    CDatabase m_connection;
    CEVENTS m_record;
    bool m_locked = false; // m_readLock is held
    bool m_signalsMade = false;
    bool m_portOpen = false;
    bool m_portWasOpened = false; // once opened, though closed again since
    bool m_progressShown = false;

    Outcome m_outcome;
};

} // namespace download
