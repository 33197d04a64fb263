// The download through ser2net with RFC 2217: the simulated receiver paces its
// output at 9600 baud on its pseudo-terminal, ser2net bridges it to TCP, and
// this program downloads through the RFC 2217 link as zqreader-cli does.
// Prints the line "summary EVENTS EXCHANGE_MS WIRE_MS" for bench/run.
// Usage: bench_netdownload [EVENTS]   (default 7000: the download stops at 6144)

#include "bench/benchdownload.h"
#include "db/backend/processsetup.h"
#include "db/zq6doc.h"
#include "link/rfc2217link.h"
#include "tests/support/ser2netprocess.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    SetUpProcess();
    QCoreApplication app(argc, argv);
    const int events = bench::EventsArgument(app.arguments(), "bench_netdownload");
    if (events == 0)
        return 2;
    SimProcess sim;
    if (!bench::StartSim(sim, events, "bench_netdownload"))
        return 1;
    Ser2NetProcess ser2net;
    if (!ser2net.Start(sim.PortPath(), true)) {
        std::fprintf(stderr, "bench_netdownload: ser2net did not start (is it installed?)\n");
        return 1;
    }
    QTemporaryDir dir;
    bench::KeepMessages messages;
    CZq6Doc doc(&messages);
    if (!bench::OpenNewDatabase(doc, messages, dir, "bench_netdownload"))
        return 1;
    Rfc2217Link link;
    SystemClock clock;
    bench::TimingProgress progress;
    DownloadServices services(
        link, clock, &progress,
        PortName::Parse(QStringLiteral("rfc2217://127.0.0.1:%1").arg(ser2net.Port())));
    ReadEvents(doc, services);
    std::printf("%s\n", qUtf8Printable(messages.last.text));
    // The time the received bytes take on the line: 10 bits a byte at 9600 baud.
    std::printf("summary\t%d\t%.1f\t%.1f\n", progress.events, progress.exchangeMs,
                double(link.BytesRead()) * 10 / 9.6);
    return progress.events > 0 ? 0 : 1;
}
