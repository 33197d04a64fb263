// The download through ser2net with RFC 2217: the simulated receiver paces its
// output at 9600 baud on its pseudo-terminal, ser2net bridges it to TCP, and
// this program downloads through the RFC 2217 link as zqreader-cli does.
// Prints the line "summary EVENTS EXCHANGE_MS WIRE_MS" for bench/run.
// Usage: bench_netdownload [EVENTS]   (default 7000: the download stops at 6144)

#include "db/messages.h"
#include "db/zq6doc.h"
#include "link/download.h"
#include "link/rfc2217link.h"
#include "tests/support/ser2netprocess.h"
#include "tests/support/simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

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
    void Start() override { timer.start(); }
    void Advance() override { ++events; }
    void Finish() override { exchangeMs = double(timer.nsecsElapsed()) / 1e6; }

    QElapsedTimer timer;
    int events = 0;
    double exchangeMs = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int events = args.size() > 1 ? args.at(1).toInt() : 7000;
    if (events <= 0) {
        std::fprintf(stderr, "usage: bench_netdownload [EVENTS]\n");
        return 2;
    }
    SimProcess sim;
    if (!sim.Start({QStringLiteral("--generate"), QString::number(events)})) {
        std::fprintf(stderr, "bench_netdownload: zqreader-sim did not start\n");
        return 1;
    }
    Ser2NetProcess ser2net;
    if (!ser2net.Start(sim.PortPath(), true)) {
        std::fprintf(stderr, "bench_netdownload: ser2net did not start (is it installed?)\n");
        return 1;
    }
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("bench.db"));
    if (!QFile::copy(QStringLiteral(ZQ_BIN_DIR "/template.db"), db) ||
        !QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner)) {
        std::fprintf(stderr, "bench_netdownload: cannot copy the template database\n");
        return 1;
    }
    KeepMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(db)) {
        std::fprintf(stderr, "bench_netdownload: %s\n", qUtf8Printable(messages.last.text));
        return 1;
    }
    Rfc2217Link link;
    SystemClock clock;
    TimingProgress progress;
    DownloadServices services(link, clock, &progress,
                              QStringLiteral("rfc2217://127.0.0.1:%1").arg(ser2net.Port()));
    doc.OnReadEvents(services);
    std::printf("%s\n", qUtf8Printable(messages.last.text));
    // The time the received bytes take on the line: 10 bits a byte at 9600 baud.
    std::printf("summary\t%d\t%.1f\t%.1f\n", progress.events, progress.exchangeMs,
                double(link.BytesRead()) * 10 / 9.6);
    return progress.events > 0 ? 0 : 1;
}
