#include "options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace zqsim {

namespace {

const char* const description = QT_TRANSLATE_NOOP("Options", R"(Simulated ZQreader receiver.

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
)");

// The options, in the order of the help.
struct OptionText
{
    const char* name;
    const char* description;
    const char* valueName; // null for an option without a value
    const char* defaultValue;
};

constexpr OptionText kLog{
    "log", QT_TRANSLATE_NOOP("Options", "Read the receiver's log from <file> (format above)."),
    QT_TRANSLATE_NOOP("Options", "file"), nullptr};
constexpr OptionText kGenerate{
    "generate",
    QT_TRANSLATE_NOOP("Options",
                      "Generate a log of <n> events ending shortly before the counter: a few "
                      "regular users, now and then any user field from 0 to 511, button bits, "
                      "gaps of seconds to hours, all within 2^22 seconds."),
    QT_TRANSLATE_NOOP("Options", "n"), nullptr};
constexpr OptionText kSeed{
    "seed",
    QT_TRANSLATE_NOOP("Options",
                      "Seed of --generate, add-random and the junk and garbage bytes (default 1). "
                      "The same seed gives the same log."),
    QT_TRANSLATE_NOOP("Options", "s"), "1"};
constexpr OptionText kCounter{
    "counter",
    QT_TRANSLATE_NOOP("Options",
                      "The 24-bit seconds counter at start, 0 to 0xFFFFFF (default: 30 s after "
                      "the newest event of --log; 0x100000 with --generate; 100 otherwise). With "
                      "--generate a value just above 0 makes the log straddle the counter wrap."),
    QT_TRANSLATE_NOOP("Options", "n"), nullptr};
constexpr OptionText kLink{
    "link",
    QT_TRANSLATE_NOOP("Options",
                      "Also make <path> a symbolic link to the pseudo-terminal; removed on exit."),
    QT_TRANSLATE_NOOP("Options", "path"), nullptr};
constexpr OptionText kListen{
    "listen",
    QT_TRANSLATE_NOOP("Options",
                      "Serve the line on TCP at <host:port> (raw bytes, one host at a time; port "
                      "0 picks a free one) instead of a pseudo-terminal."),
    QT_TRANSLATE_NOOP("Options", "host:port"), nullptr};
constexpr OptionText kPace{
    "pace",
    QT_TRANSLATE_NOOP("Options",
                      "Send at the speed of a <baud> line, 10 bits a byte (default 9600, about "
                      "1.04 ms a byte); 0 sends unpaced."),
    QT_TRANSLATE_NOOP("Options", "baud"), "9600"};
constexpr OptionText kStatus{
    "status",
    QT_TRANSLATE_NOOP("Options",
                      "Fault: the first frame of every session carries status <byte> (0 to 255) "
                      "instead of 0, a receiver error."),
    QT_TRANSLATE_NOOP("Options", "byte"), nullptr};
constexpr OptionText kSilence{
    "silence-after",
    QT_TRANSLATE_NOOP("Options",
                      "Fault: answer only <n> frames of every session, then stay silent until the "
                      "next session."),
    QT_TRANSLATE_NOOP("Options", "n"), nullptr};
constexpr OptionText kShort{
    "short-frame",
    QT_TRANSLATE_NOOP("Options",
                      "Fault: frame <k> of every session (1 = the first) is cut short, then the "
                      "line stays quiet for 100 ms; the events it held are lost."),
    QT_TRANSLATE_NOOP("Options", "k"), nullptr};
constexpr OptionText kShortLength{
    "short-length",
    QT_TRANSLATE_NOOP("Options", "Bytes of the --short-frame that are sent, 1 to 67 "
                                 "(default 34)."),
    QT_TRANSLATE_NOOP("Options", "bytes"), "34"};
constexpr OptionText kLose{
    "lose-byte",
    QT_TRANSLATE_NOOP("Options",
                      "Fault: frame <k> of every session (1 = the first) loses its 11th byte, as "
                      "on a noisy line; the frame is one byte short."),
    QT_TRANSLATE_NOOP("Options", "k"), nullptr};
constexpr OptionText kDouble{
    "double-byte",
    QT_TRANSLATE_NOOP("Options",
                      "Fault: frame <k> of every session (1 = the first) has its 11th byte twice; "
                      "the frame is one byte long."),
    QT_TRANSLATE_NOOP("Options", "k"), nullptr};
constexpr OptionText kJunk{
    "junk",
    QT_TRANSLATE_NOOP("Options",
                      "Fault: put <n> junk bytes (0x80 to 0xFF) on the line at start and 250 ms "
                      "after every session, before the next host opens the port."),
    QT_TRANSLATE_NOOP("Options", "n"), nullptr};
constexpr OptionText kNoEnd{
    "no-end-word",
    QT_TRANSLATE_NOOP("Options",
                      "Fault: after the oldest event send random non-zero words instead of the "
                      "end word."),
    nullptr, nullptr};
constexpr OptionText kVerbose{"verbose",
                              QT_TRANSLATE_NOOP("Options", "Report every frame on standard error."),
                              nullptr, nullptr};

constexpr const OptionText* kAll[] = {
    &kLog,     &kGenerate, &kSeed,        &kCounter, &kLink,   &kListen, &kPace,  &kStatus,
    &kSilence, &kShort,    &kShortLength, &kLose,    &kDouble, &kJunk,   &kNoEnd, &kVerbose};

QString nameOf(const OptionText& option)
{
    return QString::fromLatin1(option.name);
}

QCommandLineOption made(const OptionText& option)
{
    if (!option.valueName)
        return {nameOf(option), Options::tr(option.description)};
    return {nameOf(option), Options::tr(option.description), Options::tr(option.valueName),
            QString::fromLatin1(option.defaultValue)};
}

void complain(const QString& text)
{
    std::fprintf(stderr, "zqreader-sim: %s\n", qPrintable(text));
}

// The option's number into *value when it is given; false, having told why,
// when it is no number from min to max.
bool numberOption(const QCommandLineParser& parser, const OptionText& option, quint64 min,
                  quint64 max, quint64* value)
{
    if (!parser.isSet(nameOf(option)))
        return true;
    const QString text = parser.value(nameOf(option));
    if (!parseNumber(text, value) || *value < min || *value > max) {
        complain(Options::tr("--%1: '%2' is not a number from %3 to %4")
                     .arg(nameOf(option), text, QString::number(min), QString::number(max)));
        return false;
    }
    return true;
}

// The receiver's log and its counter at start, from --log, --generate and
// --counter; false, having told why, when the log file cannot be read.
bool takeLog(const QCommandLineParser& parser, quint64 generate, quint64 counter, Options* options)
{
    const bool counterGiven = parser.isSet(nameOf(kCounter));
    if (parser.isSet(nameOf(kLog))) {
        const ParseResult parsed = readLogFile(parser.value(nameOf(kLog)));
        if (!parsed.ok()) {
            complain(parsed.error);
            return false;
        }
        options->log = parsed.events;
        if (!counterGiven)
            counter =
                options->log.isEmpty() ? 100 : (options->log.last().counter + 30) & CounterMask;
    } else if (parser.isSet(nameOf(kGenerate))) {
        if (!counterGiven)
            counter = 0x100000;
        options->log = generateLog(int(generate), options->seed, quint32(counter));
    } else if (!counterGiven) {
        counter = 100;
    }
    options->counter = quint32(counter);
    const QList<Event>& log = options->log;
    if (!log.isEmpty() &&
        logSpan(log) + ((options->counter - log.last().counter) & EventCounterMask) > MaxLogSpan)
        complain(
            Options::tr("warning: from the oldest event to the counter is more than 2^22 seconds; "
                        "the program will misdate the older events"));
    return true;
}

} // namespace

std::optional<Options> ParseOptions(const QCoreApplication& app, int* status)
{
    *status = 2;
    QCommandLineParser parser;
    parser.setApplicationDescription(Options::tr(description) + QLatin1Char('\n') + commandHelp());
    parser.addHelpOption();
    parser.addVersionOption();
    for (const OptionText* option : kAll)
        parser.addOption(made(*option));
    parser.process(app);

    if (!parser.positionalArguments().isEmpty()) {
        complain(Options::tr("unexpected argument '%1' (see --help)")
                     .arg(parser.positionalArguments().constFirst()));
        return std::nullopt;
    }
    if (parser.isSet(nameOf(kLog)) && parser.isSet(nameOf(kGenerate))) {
        complain(Options::tr("--log and --generate exclude each other"));
        return std::nullopt;
    }

    Options options;
    quint64 generate = 0, counter = 0, pace = 9600, statusByte = 0, silence = 0;
    quint64 shortFrame = 0, shortLength = 34, junkBytes = 0, loseByte = 0, doubleByte = 0;
    if (!numberOption(parser, kGenerate, 0, MaxGeneratedEvents, &generate) ||
        !numberOption(parser, kSeed, 0, ~quint64(0), &options.seed) ||
        !numberOption(parser, kCounter, 0, CounterMask, &counter) ||
        !numberOption(parser, kPace, 0, 4000000, &pace) ||
        !numberOption(parser, kStatus, 0, 255, &statusByte) ||
        !numberOption(parser, kSilence, 0, 1000000, &silence) ||
        !numberOption(parser, kShort, 1, 1000000, &shortFrame) ||
        !numberOption(parser, kShortLength, 1, FrameSize - 1, &shortLength) ||
        !numberOption(parser, kLose, 1, 1000000, &loseByte) ||
        !numberOption(parser, kDouble, 1, 1000000, &doubleByte) ||
        !numberOption(parser, kJunk, 0, 65536, &junkBytes))
        return std::nullopt;
    if (!takeLog(parser, generate, counter, &options))
        return std::nullopt;

    options.pace = int(pace);
    options.faults.status = quint8(statusByte);
    options.faults.silenceAfter = parser.isSet(nameOf(kSilence)) ? int(silence) : -1;
    options.faults.shortFrame = int(shortFrame);
    options.faults.shortLength = int(shortLength);
    options.faults.junk = int(junkBytes);
    options.faults.noEndWord = parser.isSet(nameOf(kNoEnd));
    options.faults.loseByte = int(loseByte);
    options.faults.doubleByte = int(doubleByte);
    options.verbose = parser.isSet(nameOf(kVerbose));
    if (parser.isSet(nameOf(kListen)) && parser.isSet(nameOf(kLink))) {
        complain(Options::tr("--link and --listen exclude each other"));
        return std::nullopt;
    }
    if (parser.isSet(nameOf(kListen)))
        options.listen = parser.value(nameOf(kListen));
    if (parser.isSet(nameOf(kLink)))
        options.link = parser.value(nameOf(kLink));
    *status = 0;
    return options;
}

} // namespace zqsim
