// Download figures at the real line speed: the simulated receiver paces its
// output at 9600 baud, this program downloads through the serial link as
// zqreader-cli does and prints what it measured.
// Usage: bench_download [EVENTS]   (default 7000: the download stops at 6144)

#include "bench/benchdownload.h"
#include "db/backend/processsetup.h"
#include "db/zq6doc.h"
#include "link/qtseriallink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

struct Figures
{
    QString message;
    int events = 0;
    double totalMs = 0;
    double exchangeMs = 0;
    double firstEventMs = 0;
    qint64 requests = 0;
    qint64 received = 0;
};

Figures runDownload(CZq6Doc& doc, const bench::KeepMessages& messages, const QString& port)
{
    QtSerialLink link;
    SystemClock clock;
    bench::TimingProgress progress;
    DownloadServices services(link, clock, &progress, PortName::Parse(port));
    QElapsedTimer total;
    total.start();
    ReadEvents(doc, services);
    Figures f;
    f.totalMs = total.nsecsElapsed() / 1e6;
    f.message = messages.last.text;
    f.events = progress.events;
    f.exchangeMs = progress.exchangeMs;
    f.firstEventMs = progress.firstEventMs;
    f.requests = link.BytesWritten();
    f.received = link.BytesRead();
    return f;
}

void print(const char* what, const Figures& f)
{
    const double frames = f.received / 68.0;
    std::printf("%s\n", what);
    std::printf("  outcome                 %s\n", qUtf8Printable(f.message));
    std::printf("  events taken            %d\n", f.events);
    std::printf("  whole command           %.0f ms (300 ms settling, at least 60 ms of quiet "
                "line and 500 ms before the list is read again included)\n",
                f.totalMs);
    std::printf("  exchange                %.0f ms, first event after %.1f ms\n", f.exchangeMs,
                f.firstEventMs);
    std::printf("  frames received         %.1f (%lld bytes)\n", frames,
                static_cast<long long>(f.received));
    if (f.exchangeMs > 0) {
        std::printf("  events per second       %.0f\n", f.events / (f.exchangeMs / 1000));
        std::printf("  ms per frame            %.1f (68 bytes on the line: 70.8 ms)\n",
                    frames > 0 ? f.exchangeMs / frames : 0.0);
        std::printf("  request bytes           %lld, %.0f per second (line limit 960), %.1f per "
                    "frame\n",
                    static_cast<long long>(f.requests), f.requests / (f.exchangeMs / 1000),
                    frames > 0 ? f.requests / frames : 0.0);
    }
    std::printf("  storing and the rest    %.0f ms\n", f.totalMs - f.exchangeMs - 860);
}

} // namespace

int main(int argc, char** argv)
{
    SetUpProcess();
    QCoreApplication app(argc, argv);
    const int events = bench::EventsArgument(app.arguments(), "bench_download");
    if (events == 0)
        return 2;
    SimProcess sim;
    if (!bench::StartSim(sim, events, "bench_download"))
        return 1;
    QTemporaryDir dir;
    bench::KeepMessages messages;
    CZq6Doc doc(&messages);
    if (!bench::OpenNewDatabase(doc, messages, dir, "bench_download"))
        return 1;
    std::printf("Download from zqreader-sim at 9600 baud, a log of %d events\n\n", events);
    const Figures full = runDownload(doc, messages, sim.PortPath());
    print("First download (the whole log, up to 6144 events):", full);
    std::printf("\n");
    print("Second download (nothing new):", runDownload(doc, messages, sim.PortPath()));
    // For bench/run: the first download's exchange and the time its bytes
    // take on the line (10 bits a byte at 9600 baud).
    std::printf("\nsummary\t%d\t%.1f\t%.1f\n", full.events, full.exchangeMs,
                full.received * 10 / 9.6);
    return full.events > 0 ? 0 : 1;
}
