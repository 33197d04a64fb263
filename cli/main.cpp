// zqreader-cli: the ZQreader jobs without a window, for unattended machines.

#include "cli/commandoutput.h"
#include "cli/commands.h"
#include "cli/exitcodes.h"
#include "cli/exportcommand.h"
#include "cli/filteroptions.h"
#include "cli/importcommand.h"
#include "cli/portscommand.h"
#include "cli/readcommand.h"
#include "cli/reportcommand.h"
#include "cli/usage.h"
#include "cli/userscommands.h"
#include "db/backend/processsetup.h"
#include "db/location/location.h"
#include "db/location/nativename.h"
#include "link/portname.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// The error, with the usage of the command the line names; --help prints the
// rest.
int usageError(const QCommandLineParser& parser, const QString& what)
{
    return ReportUsageError(parser.positionalArguments(), what);
}

// The command the line names, run; its exit status.
int run(int argc, char** argv)
{
    SetUpProcess();
    // A report's PDF is painted, which takes a GUI application; it needs no
    // display.
    auto given = [argc, argv](const char* word) {
        return std::any_of(argv + 1, argv + argc, [word](const char* a) {
            return qstrcmp(a, word) == 0 || QByteArray(a).endsWith(QByteArray("=") + word);
        });
    };
    const bool painting = given("report") && given("pdf");
    if (painting) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Nothing of the session is used; its missing runtime folder is no news.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (!text.startsWith(QLatin1String("QStandardPaths:")))
                std::fprintf(stderr, "%s\n", qUtf8Printable(text));
            if (type == QtFatalMsg)
                std::abort();
        });
    }
    const std::unique_ptr<QCoreApplication> app(painting ? new QGuiApplication(argc, argv)
                                                         : new QCoreApplication(argc, argv));
    QCoreApplication::setOrganizationName(QStringLiteral("Korvo"));
    QCoreApplication::setApplicationName(QStringLiteral("Zq6"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZQ_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "ZQreader command line: keeps the event log of a receiver in a database.\n"
        "\n"
        "Commands:\n"
        "  new DB     create a new database DB from the template (replaces DB)\n"
        "  list DB    print the events of DB joined with their users, one per line:\n"
        "             date, time, user number, name, timer, separated by tabs\n"
        "  list, export and report take the filters --from, --to, --user (any\n"
        "             number of times), --button and --name: a row is printed (or\n"
        "             counted) when it passes every filter given\n"
        "  read DB    download the receiver's new events into DB, from the port\n"
        "             given by --port, else the port stored by the desktop program's\n"
        "             Tools > Option (entry Settings/COM of the Korvo/Zq6 settings),\n"
        "             else ttyS0\n"
        "  ports      print the names of this machine's serial ports, one per line\n"
        "  import MDB DB\n"
        "             copy the users and events of the Access database MDB into a new\n"
        "             database DB (replaces DB only when complete; MDB is only read)\n"
        "  export DB  print the rows of list as CSV (RFC 4180, UTF-8, CRLF line ends),\n"
        "             oldest first: date,time,user_no,user_name,timer,button; a name\n"
        "             that a spreadsheet would run as a formula gets a ' before it\n"
        "             (not with --raw)\n"
        "  report DB  count the events of list by period and user, as CSV:\n"
        "             period,user_no,user_name,events,button_1,first,last, then the\n"
        "             totals of each user and of all (period \"total\"); or as PDF\n"
        "  users list DB\n"
        "             print the users, by user number: name, user number, from, to\n"
        "             (empty when the period has no end), separated by tabs\n"
        "  users add DB NAME USER_NO FROM [TO]\n"
        "             add a user who holds USER_NO from FROM until TO, or with no end\n"
        "  users import DB FILE.csv\n"
        "             add the users of a CSV file with the header name,user_no,from,to:\n"
        "             all of them, or none when any row is bad (each told by its line);\n"
        "             a regular file of at most 4 MiB, lines of at most 4096 bytes\n"
        "  users export DB\n"
        "             print the users in that CSV form, names guarded as in export\n"
        "  Dates are YYYY-MM-DD HH:MM[:SS] in local time. An event exactly at the\n"
        "  start or the end of a user's period is outside it.\n"
        "\n"
        "Exit status:\n"
        "  0   done (read: events downloaded, or nothing new)\n"
        "  1   failed, and trying again will not help (no database, not a database,\n"
        "      no such port, not a serial port, no permission)\n"
        "  2   wrong command line\n"
        "  3   read --exit-nothing-new: the receiver had no new events\n"
        "  4   read: another read is under way on the database or the port\n"
        "  75  read: the receiver, the line or the network failed this time; try again\n"
        "      later"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("read: the serial port, a name as \"ports\" lists it or a device path, or "
                       "a serial device server's port: socket://HOST:PORT (raw TCP) or "
                       "rfc2217://HOST:PORT (Telnet COM port control)."),
        QStringLiteral("NAME"));
    parser.addOption(portOption);
    const QCommandLineOption logLineOption(
        QStringLiteral("log-line"),
        QStringLiteral("read: print one line instead of the messages, \"zqreader-cli read: DB "
                       "from PORT: OUTCOME\", on standard output when done, on standard error "
                       "when failed; for logs."));
    parser.addOption(logLineOption);
    const QCommandLineOption nothingNewOption(
        QStringLiteral("exit-nothing-new"),
        QStringLiteral("read: exit with status 3 instead of 0 when there is nothing new."));
    parser.addOption(nothingNewOption);
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"),
        QStringLiteral("ports: also print each port's description, manufacturer, serial number "
                       "and stable path under /dev/serial/by-id, separated by tabs (\"-\" where "
                       "unknown)."));
    parser.addOption(verboseOption);
    const QCommandLineOption fromOption(
        QStringLiteral("from"),
        QStringLiteral(
            "list, export, report: only events at or after DATE (YYYY-MM-DD [HH:MM[:SS]])."),
        QStringLiteral("DATE"));
    const QCommandLineOption toOption(
        QStringLiteral("to"),
        QStringLiteral(
            "list, export, report: only events before DATE; a day alone includes that day."),
        QStringLiteral("DATE"));
    const QCommandLineOption userOption(
        QStringLiteral("user"),
        QStringLiteral(
            "list, export, report: only events of this user number; given again, of any of "
            "them."),
        QStringLiteral("USER_NO"));
    const QCommandLineOption buttonOption(
        QStringLiteral("button"),
        QStringLiteral("list, export, report: only events of button 0 or 1."),
        QStringLiteral("0|1"));
    const QCommandLineOption nameOption(
        QStringLiteral("name"),
        QStringLiteral(
            "list, export, report: only rows whose user name contains TEXT, whatever the "
            "case (the user who held the number at the event's date)."),
        QStringLiteral("TEXT"));
    const QCommandLineOption outputOption(
        QStringLiteral("output"),
        QStringLiteral("export: write to FILE (replaced when complete) instead of standard "
                       "output."),
        QStringLiteral("FILE"));
    const QCommandLineOption rawOption(
        QStringLiteral("raw"),
        QStringLiteral("export, users export: write names (and buttons) as they are, also those "
                       "that start with = + - @, a tab or a carriage return, which otherwise get "
                       "a ' before them so that spreadsheets take them as text, not as "
                       "formulas. users import: take names as they are; otherwise a name that "
                       "starts with such a quote loses it."));
    const QCommandLineOption byOption(
        QStringLiteral("by"),
        QStringLiteral("report: one row per day (default), ISO week (named by its Monday) or "
                       "month, and user."),
        QStringLiteral("day|week|month"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("report: csv (default) or pdf."),
                                          QStringLiteral("csv|pdf"));
    for (const QCommandLineOption* option :
         {&fromOption, &toOption, &userOption, &buttonOption, &nameOption, &outputOption,
          &rawOption, &byOption, &formatOption})
        parser.addOption(*option);
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("new, list, read, ports, import, export, report or users"));
    parser.addPositionalArgument(QStringLiteral("DB"), QStringLiteral("the database file"));
    if (!parser.parse(DecodeArguments(argc, argv)))
        return usageError(parser, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        WriteStandardOutput(parser.helpText().toUtf8());
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        PrintLine(QStringLiteral("zqreader-cli " ZQ_VERSION));
        return 0;
    }

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(parser, QStringLiteral("no command given"));
    const QString& command = args.first();
    for (const QCommandLineOption* readOnly : {&portOption, &logLineOption, &nothingNewOption}) {
        if (parser.isSet(*readOnly) && command != QLatin1String("read"))
            return usageError(
                parser,
                QStringLiteral("--%1 is an option of read").arg(readOnly->names().constFirst()));
    }
    if (parser.isSet(verboseOption) && command != QLatin1String("ports"))
        return usageError(parser, QStringLiteral("--verbose is an option of ports"));
    for (const QCommandLineOption* filterOnly :
         {&fromOption, &toOption, &userOption, &buttonOption, &nameOption}) {
        if (parser.isSet(*filterOnly) && command != QLatin1String("export") &&
            command != QLatin1String("list") && command != QLatin1String("report"))
            return usageError(parser, QStringLiteral("--%1 is an option of list, export and report")
                                          .arg(filterOnly->names().constFirst()));
    }
    if (parser.isSet(outputOption) && command != QLatin1String("export") &&
        command != QLatin1String("report"))
        return usageError(parser, QStringLiteral("--output is an option of export and report"));
    for (const QCommandLineOption* reportOnly : {&byOption, &formatOption}) {
        if (parser.isSet(*reportOnly) && command != QLatin1String("report"))
            return usageError(parser, QStringLiteral("--%1 is an option of report")
                                          .arg(reportOnly->names().constFirst()));
    }
    auto value = [&parser](const QCommandLineOption& o) {
        return parser.isSet(o) ? parser.value(o) : QString();
    };
    const FilterOptions filter{value(fromOption), value(toOption), parser.values(userOption),
                               value(buttonOption), value(nameOption)};
    if (parser.isSet(rawOption) && command != QLatin1String("export") &&
        command != QLatin1String("users"))
        return usageError(
            parser, QStringLiteral("--raw is an option of export, users export and users import"));
    const auto usage = [&parser](const QString& what) { return usageError(parser, what); };
    if (command == QLatin1String("users"))
        return RunUsersCommand(args.mid(1), parser.isSet(rawOption), usage);
    if (command == QLatin1String("export")) {
        if (args.size() != 2)
            return usageError(parser, QStringLiteral("export takes one database file"));
        return RunExportCommand(
            {Location::Parse(args.at(1)), filter, value(outputOption), parser.isSet(rawOption)},
            usage);
    }
    if (command == QLatin1String("report")) {
        if (args.size() != 2)
            return usageError(parser, QStringLiteral("report takes one database file"));
        return RunReportCommand({Location::Parse(args.at(1)), filter, value(byOption),
                                 value(formatOption), value(outputOption)},
                                usage);
    }
    if (command == QLatin1String("new") || command == QLatin1String("list")) {
        if (args.size() != 2)
            return usageError(parser, QStringLiteral("%1 takes one database file").arg(command));
        const Location db = Location::Parse(args.at(1));
        if (command == QLatin1String("new"))
            return RunNew(db);
        EventFilter parsed;
        if (const QString wrong = ParseFilterOptions(filter, &parsed); !wrong.isEmpty())
            return usageError(parser, wrong);
        return RunList(db, parsed);
    }
    if (command == QLatin1String("read")) {
        if (args.size() != 2)
            return usageError(parser, QStringLiteral("read takes one database file"));
        const QString port = parser.value(portOption);
        if (parser.isSet(portOption) && port.isEmpty())
            return usageError(parser, QStringLiteral("--port needs a port name"));
        if (const QString bad = PortName::Parse(port).Problem(); !bad.isEmpty())
            return usageError(parser, bad);
        return RunReadCommand({Location::Parse(args.at(1)), port, parser.isSet(logLineOption),
                               parser.isSet(nothingNewOption)});
    }
    if (command == QLatin1String("ports")) {
        if (args.size() != 1)
            return usageError(parser, QStringLiteral("ports takes no argument"));
        return RunPortsCommand(parser.isSet(verboseOption));
    }
    if (command == QLatin1String("import")) {
        if (args.size() != 3)
            return usageError(parser,
                              QStringLiteral("import takes an Access database and a new database"));
        return RunImportCommand(args.at(1), Location::Parse(args.at(2)));
    }
    return usageError(parser, QStringLiteral("unknown command \"%1\"").arg(command));
}

} // namespace

int main(int argc, char** argv)
{
    // Whatever was printed must have arrived: a full disk or a file size
    // limit is a failure, not a short output ending in success.
    return CloseStandardOutput(run(argc, argv));
}
