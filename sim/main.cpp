// zqreader-sim: a simulated receiver on a pseudo-terminal, for trying ZQreader
// without the hardware.
#include "ptyloop.h"
#include "receiver.h"
#include "simlog.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

using namespace zqsim;

namespace {

const char* const description = R"(Simulated ZQreader receiver.

Creates a pseudo-terminal and prints its path as the first line of standard
output; point ZQreader's port setting at that path (or at the --link). With
--listen it serves the line as a raw TCP port instead, as a serial device
server would, and prints HOST:PORT; the port is then socket://HOST:PORT. The
simulator answers like a receiver for any number of downloads, one after the
other, until it is stopped with Ctrl+C, SIGTERM or the quit command.

Line protocol: every byte received is a request (the host sends 0x00). A request
that arrives while no frame is going out is answered with one 68-byte frame;
requests that arrive meanwhile are dropped. A pause of more than 250 ms between
requests starts a new session: its first frame carries the status byte and the
seconds counter now, and the session sends the log from the newest event back,
16 event words a frame, then the end word 0 (the rest of that frame and all
later frames hold zeros). The 24-bit seconds counter starts at --counter and
goes up once a second.

Log file (--log): plain text, one event per line, oldest first:
    COUNTER USER_FIELD BUTTON
  COUNTER     the counter at the event, 0 to 4194303 (0x3FFFFF, 22 bits)
  USER_FIELD  0 to 511 (the program stores it minus one, as the user number)
  BUTTON      0 or 1
Numbers are decimal or 0x-hex; '#' starts a comment; blank lines are skipped.
Counters go forward; one lower than the one before means the counter wrapped
from 0x3FFFFF to 0. The whole log must span less than 2^22 seconds (48 days),
and the line "0 0 0" is refused, since that event would be the end word.
Without --log or --generate the log is empty.
)";

bool numberOption(const QCommandLineParser& parser, const QCommandLineOption& option, quint64 min,
                  quint64 max, quint64* value)
{
    if (!parser.isSet(option))
        return true;
    const QString text = parser.value(option);
    if (!parseNumber(text, value) || *value < min || *value > max) {
        std::fprintf(stderr, "zqreader-sim: --%s: '%s' is not a number from %llu to %llu\n",
                     qPrintable(option.names().constFirst()), qPrintable(text),
                     static_cast<unsigned long long>(min), static_cast<unsigned long long>(max));
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

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description) + QLatin1Char('\n') +
                                     commandHelp());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption logOption(
        QStringLiteral("log"),
        QStringLiteral("Read the receiver's log from <file> (format above)."),
        QStringLiteral("file"));
    const QCommandLineOption generateOption(
        QStringLiteral("generate"),
        QStringLiteral("Generate a log of <n> events ending shortly before the counter: a few "
                       "regular users, now and then any user field from 0 to 511, button bits, "
                       "gaps of seconds to hours, all within 2^22 seconds."),
        QStringLiteral("n"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"),
        QStringLiteral("Seed of --generate, add-random and the junk and garbage bytes "
                       "(default 1). The same seed gives the same log."),
        QStringLiteral("s"), QStringLiteral("1"));
    const QCommandLineOption counterOption(
        QStringLiteral("counter"),
        QStringLiteral("The 24-bit seconds counter at start, 0 to 0xFFFFFF (default: 30 s after "
                       "the newest event of --log; 0x100000 with --generate; 100 otherwise). With "
                       "--generate a "
                       "value just above 0 makes the log straddle the counter wrap."),
        QStringLiteral("n"));
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral("Also make <path> a symbolic link to the pseudo-terminal; removed on exit."),
        QStringLiteral("path"));
    const QCommandLineOption listenOption(
        QStringLiteral("listen"),
        QStringLiteral("Serve the line on TCP at <host:port> (raw bytes, one host at a time; port "
                       "0 picks a free one) instead of a pseudo-terminal."),
        QStringLiteral("host:port"));
    const QCommandLineOption paceOption(
        QStringLiteral("pace"),
        QStringLiteral("Send at the speed of a <baud> line, 10 bits a byte (default 9600, about "
                       "1.04 ms a byte); 0 sends unpaced."),
        QStringLiteral("baud"), QStringLiteral("9600"));
    const QCommandLineOption statusOption(
        QStringLiteral("status"),
        QStringLiteral("Fault: the first frame of every session carries status <byte> (0 to 255) "
                       "instead of 0, a receiver error."),
        QStringLiteral("byte"));
    const QCommandLineOption silenceOption(
        QStringLiteral("silence-after"),
        QStringLiteral("Fault: answer only <n> frames of every session, then stay silent until "
                       "the next session."),
        QStringLiteral("n"));
    const QCommandLineOption shortOption(
        QStringLiteral("short-frame"),
        QStringLiteral("Fault: frame <k> of every session (1 = the first) is cut short, then the "
                       "line stays quiet for 100 ms; the events it held are lost."),
        QStringLiteral("k"));
    const QCommandLineOption shortLengthOption(
        QStringLiteral("short-length"),
        QStringLiteral("Bytes of the --short-frame that are sent, 1 to 67 (default 34)."),
        QStringLiteral("bytes"), QStringLiteral("34"));
    const QCommandLineOption loseOption(
        QStringLiteral("lose-byte"),
        QStringLiteral("Fault: frame <k> of every session (1 = the first) loses its 11th byte, as "
                       "on a noisy line; the frame is one byte short."),
        QStringLiteral("k"));
    const QCommandLineOption doubleOption(
        QStringLiteral("double-byte"),
        QStringLiteral("Fault: frame <k> of every session (1 = the first) has its 11th byte twice; "
                       "the frame is one byte long."),
        QStringLiteral("k"));
    const QCommandLineOption junkOption(
        QStringLiteral("junk"),
        QStringLiteral("Fault: put <n> junk bytes (0x80 to 0xFF) on the line at start and 250 ms "
                       "after every session, before the next host opens the port."),
        QStringLiteral("n"));
    const QCommandLineOption noEndOption(
        QStringLiteral("no-end-word"),
        QStringLiteral("Fault: after the oldest event send random non-zero words instead of the "
                       "end word."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Report every frame on standard error."));
    parser.addOptions({logOption, generateOption, seedOption, counterOption, linkOption,
                       listenOption, paceOption, statusOption, silenceOption, shortOption,
                       shortLengthOption, loseOption, doubleOption, junkOption, noEndOption,
                       verboseOption});
    parser.process(app);

    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "zqreader-sim: unexpected argument '%s' (see --help)\n",
                     qPrintable(parser.positionalArguments().constFirst()));
        return 2;
    }
    if (parser.isSet(logOption) && parser.isSet(generateOption)) {
        std::fprintf(stderr, "zqreader-sim: --log and --generate exclude each other\n");
        return 2;
    }

    quint64 generate = 0, seed = 1, counter = 0, pace = 9600, status = 0, silence = 0;
    quint64 shortFrame = 0, shortLength = 34, junkBytes = 0, loseByte = 0, doubleByte = 0;
    if (!numberOption(parser, generateOption, 0, MaxGeneratedEvents, &generate) ||
        !numberOption(parser, seedOption, 0, ~quint64(0), &seed) ||
        !numberOption(parser, counterOption, 0, CounterMask, &counter) ||
        !numberOption(parser, paceOption, 0, 4000000, &pace) ||
        !numberOption(parser, statusOption, 0, 255, &status) ||
        !numberOption(parser, silenceOption, 0, 1000000, &silence) ||
        !numberOption(parser, shortOption, 1, 1000000, &shortFrame) ||
        !numberOption(parser, shortLengthOption, 1, FrameSize - 1, &shortLength) ||
        !numberOption(parser, loseOption, 1, 1000000, &loseByte) ||
        !numberOption(parser, doubleOption, 1, 1000000, &doubleByte) ||
        !numberOption(parser, junkOption, 0, 65536, &junkBytes))
        return 2;

    QList<Event> log;
    if (parser.isSet(logOption)) {
        const ParseResult parsed = readLogFile(parser.value(logOption));
        if (!parsed.ok()) {
            std::fprintf(stderr, "zqreader-sim: %s\n", qPrintable(parsed.error));
            return 2;
        }
        log = parsed.events;
        if (!parser.isSet(counterOption))
            counter = log.isEmpty() ? 100 : (log.last().counter + 30) & CounterMask;
    } else if (parser.isSet(generateOption)) {
        if (!parser.isSet(counterOption))
            counter = 0x100000;
        log = generateLog(int(generate), seed, quint32(counter));
    } else if (!parser.isSet(counterOption)) {
        counter = 100;
    }
    if (!log.isEmpty() &&
        logSpan(log) + ((quint32(counter) - log.last().counter) & EventCounterMask) > MaxLogSpan)
        std::fprintf(stderr, "zqreader-sim: warning: from the oldest event to the counter is more "
                             "than 2^22 seconds; the program will misdate the older events\n");

    Faults faults;
    faults.status = quint8(status);
    faults.silenceAfter = parser.isSet(silenceOption) ? int(silence) : -1;
    faults.shortFrame = int(shortFrame);
    faults.shortLength = int(shortLength);
    faults.junk = int(junkBytes);
    faults.noEndWord = parser.isSet(noEndOption);
    faults.loseByte = int(loseByte);
    faults.doubleByte = int(doubleByte);

    PtyLoop loop;
    QString error;
    if (parser.isSet(listenOption)) {
        if (parser.isSet(linkOption)) {
            std::fprintf(stderr, "zqreader-sim: --link and --listen exclude each other\n");
            return 2;
        }
        if (!loop.listen(parser.value(listenOption), &error)) {
            std::fprintf(stderr, "zqreader-sim: --listen: %s\n", qPrintable(error));
            return 1;
        }
    } else if (!loop.open(&error)) {
        std::fprintf(stderr, "zqreader-sim: cannot create the pseudo-terminal: %s\n",
                     qPrintable(error));
        return 1;
    }
    if (parser.isSet(linkOption) && !loop.makeLink(parser.value(linkOption), &error)) {
        std::fprintf(stderr, "zqreader-sim: --link: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(loop.linePlace()));
    std::fflush(stdout);

    Receiver receiver(log, quint32(counter), loop.nowMs(), faults, seed);
    std::fprintf(stderr,
                 "zqreader-sim: %lld events in the log, counter 0x%06X, %s; "
                 "type help for commands\n",
                 static_cast<long long>(log.size()), unsigned(counter),
                 pace ? qPrintable(QStringLiteral("%1 baud").arg(pace)) : "unpaced");
    std::fflush(stderr);
    return loop.run(receiver, int(pace), parser.isSet(verboseOption));
}
