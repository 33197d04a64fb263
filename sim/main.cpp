// zqreader-sim: a simulated receiver on a pseudo-terminal, for trying ZQreader
// without the hardware.
#include "options.h"
#include "ptyloop.h"
#include "receiver.h"

#include <QCoreApplication>
#include <cstdio>

using namespace zqsim;

namespace {

void complain(const QString& text)
{
    std::fprintf(stderr, "zqreader-sim: %s\n", qPrintable(text));
}

// The pseudo-terminal, or the TCP port, and the link to it; false, having
// told why, when they cannot be made.
bool openLine(PtyLoop& loop, const Options& options)
{
    QString error;
    if (options.listen) {
        if (!loop.listen(*options.listen, &error)) {
            complain(Options::tr("--listen: %1").arg(error));
            return false;
        }
    } else if (!loop.open(&error)) {
        complain(Options::tr("cannot create the pseudo-terminal: %1").arg(error));
        return false;
    }
    if (options.link && !loop.makeLink(*options.link, &error)) {
        complain(Options::tr("--link: %1").arg(error));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zqreader-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZQ_VERSION));

    int status = 0;
    const std::optional<Options> options = ParseOptions(app, &status);
    if (!options)
        return status;
    PtyLoop loop;
    if (!openLine(loop, *options))
        return 1;
    std::printf("%s\n", qPrintable(loop.linePlace()));
    std::fflush(stdout);

    Receiver receiver(options->log, options->counter, loop.nowMs(), options->faults, options->seed);
    complain(Options::tr("%1 events in the log, counter 0x%2, %3; type help for commands")
                 .arg(QString::number(options->log.size()),
                      QString::number(options->counter, 16).toUpper().rightJustified(6, '0'),
                      options->pace ? Options::tr("%1 baud").arg(options->pace)
                                    : Options::tr("unpaced")));
    std::fflush(stderr);
    return loop.run(receiver, options->pace, options->verbose);
}
