#pragma once

// Pieces the download benchmarks share: the command line, the simulated
// receiver, a new database to download into, and the timing of the exchange.

#include "db/messages.h"
#include "db/zq6doc.h"
#include "download/readevents.h"
#include "download/services.h"
#include "tests/support/simprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>

namespace bench {

class KeepMessages : public MessageSink
{
public:
    void ShowMessage(const UserMessage& m) override { last = m; }
    UserMessage last;
};

// Times the exchange: from the port being ready to the last frame.
class TimingProgress : public DownloadProgress
{
public:
    void Start() override
    {
        events = 0;
        timer.start();
    }
    void Advance() override
    {
        if (events++ == 0)
            firstEventMs = double(timer.nsecsElapsed()) / 1e6;
    }
    void Finish() override { exchangeMs = double(timer.nsecsElapsed()) / 1e6; }

    QElapsedTimer timer;
    int events = 0;
    double firstEventMs = 0;
    double exchangeMs = 0;
};

// The events of the simulated log, the command line's EVENTS or 7000 (the
// download stops at 6144); 0, with the usage told, when that is no count.
inline int EventsArgument(const QStringList& args, const char* program)
{
    const int events = args.size() > 1 ? args.at(1).toInt() : 7000;
    if (events > 0)
        return events;
    std::fprintf(stderr, "usage: %s [EVENTS]\n", program);
    return 0;
}

// zqreader-sim with a log of that many events; false, having told why.
inline bool StartSim(SimProcess& sim, int events, const char* program)
{
    if (sim.Start({QStringLiteral("--generate"), QString::number(events)}))
        return true;
    std::fprintf(stderr, "%s: zqreader-sim did not start\n", program);
    return false;
}

// A new database made from the template in dir, opened by doc; false, having
// told why.
inline bool OpenNewDatabase(CZq6Doc& doc, const KeepMessages& messages, const QTemporaryDir& dir,
                            const char* program)
{
    const QString db = dir.filePath(QStringLiteral("bench.db"));
    if (!QFile::copy(QStringLiteral(ZQ_BIN_DIR "/template.db"), db) ||
        !QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner)) {
        std::fprintf(stderr, "%s: cannot copy the template database\n", program);
        return false;
    }
    if (!doc.OnOpenDocument(db)) {
        std::fprintf(stderr, "%s: %s\n", program, qUtf8Printable(messages.last.text));
        return false;
    }
    return true;
}

} // namespace bench
