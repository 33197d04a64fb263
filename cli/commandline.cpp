#include "cli/commandline.h"

#include "cli/command.h"
#include "cli/usage.h"

#include <cstddef>
#include <iterator>

namespace {

struct OptionText
{
    Option option;
    const char* name;
    const char* description;
    const char* valueName; // null for an option without a value
    const char* misplaced; // the error when another command is given it
};

// In the order of the help, which is that of Option.
constexpr OptionText kOptions[] = {
    {Option::Port, "port",
     QT_TRANSLATE_NOOP("CommandLine",
                       "read: the serial port, a name as \"ports\" lists it or a device path, or "
                       "a serial device server's port: socket://HOST:PORT (raw TCP) or "
                       "rfc2217://HOST:PORT (Telnet COM port control)."),
     QT_TRANSLATE_NOOP("CommandLine", "NAME"),
     QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of read")},
    {Option::LogLine, "log-line",
     QT_TRANSLATE_NOOP("CommandLine",
                       "read: print one line instead of the messages, \"zqreader-cli read: DB "
                       "from PORT: OUTCOME\", on standard output when done, on standard error "
                       "when failed; for logs."),
     nullptr, QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of read")},
    {Option::ExitNothingNew, "exit-nothing-new",
     QT_TRANSLATE_NOOP("CommandLine",
                       "read: exit with status 3 instead of 0 when there is nothing new."),
     nullptr, QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of read")},
    {Option::Verbose, "verbose",
     QT_TRANSLATE_NOOP("CommandLine",
                       "ports: also print each port's description, manufacturer, serial number "
                       "and stable path under /dev/serial/by-id, separated by tabs (\"-\" where "
                       "unknown)."),
     nullptr, QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of ports")},
    {Option::From, "from",
     QT_TRANSLATE_NOOP("CommandLine",
                       "list, export, report: only events at or after DATE (YYYY-MM-DD "
                       "[HH:MM[:SS]])."),
     QT_TRANSLATE_NOOP("CommandLine", "DATE"),
     QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of list, export and report")},
    {Option::To, "to",
     QT_TRANSLATE_NOOP("CommandLine",
                       "list, export, report: only events before DATE; a day alone includes that "
                       "day."),
     QT_TRANSLATE_NOOP("CommandLine", "DATE"),
     QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of list, export and report")},
    {Option::User, "user",
     QT_TRANSLATE_NOOP("CommandLine",
                       "list, export, report: only events of this user number; given again, of "
                       "any of them."),
     QT_TRANSLATE_NOOP("CommandLine", "USER_NO"),
     QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of list, export and report")},
    {Option::Button, "button",
     QT_TRANSLATE_NOOP("CommandLine", "list, export, report: only events of button 0 or 1."),
     QT_TRANSLATE_NOOP("CommandLine", "0|1"),
     QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of list, export and report")},
    {Option::Name, "name",
     QT_TRANSLATE_NOOP("CommandLine",
                       "list, export, report: only rows whose user name contains TEXT, whatever "
                       "the case (the user who held the number at the event's date)."),
     QT_TRANSLATE_NOOP("CommandLine", "TEXT"),
     QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of list, export and report")},
    {Option::Output, "output",
     QT_TRANSLATE_NOOP("CommandLine",
                       "export: write to FILE (replaced when complete) instead of standard "
                       "output."),
     QT_TRANSLATE_NOOP("CommandLine", "FILE"),
     QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of export and report")},
    {Option::Raw, "raw",
     QT_TRANSLATE_NOOP("CommandLine",
                       "export, users export: write names (and buttons) as they are, also those "
                       "that start with = + - @, a tab or a carriage return, which otherwise get "
                       "a ' before them so that spreadsheets take them as text, not as "
                       "formulas. users import: take names as they are; otherwise a name that "
                       "starts with such a quote loses it."),
     nullptr,
     QT_TRANSLATE_NOOP("CommandLine",
                       "--%1 is an option of export, users export and users import")},
    {Option::By, "by",
     QT_TRANSLATE_NOOP("CommandLine",
                       "report: one row per day (default), ISO week (named by its Monday) or "
                       "month, and user."),
     QT_TRANSLATE_NOOP("CommandLine", "day|week|month"),
     QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of report")},
    {Option::Format, "format", QT_TRANSLATE_NOOP("CommandLine", "report: csv (default) or pdf."),
     QT_TRANSLATE_NOOP("CommandLine", "csv|pdf"),
     QT_TRANSLATE_NOOP("CommandLine", "--%1 is an option of report")},
};

// Options given to a command that does not take them are told in this
// order, --raw last.
constexpr Option kMisplacedOrder[] = {
    Option::Port,    Option::LogLine, Option::ExitNothingNew,
    Option::Verbose, Option::From,    Option::To,
    Option::User,    Option::Button,  Option::Name,
    Option::Output,  Option::By,      Option::Format,
    Option::Raw,
};

constexpr bool inOptionOrder()
{
    for (std::size_t i = 0; i < std::size(kOptions); ++i) {
        if (static_cast<std::size_t>(kOptions[i].option) != i)
            return false;
    }
    return std::size(kOptions) == static_cast<std::size_t>(Option::Format) + 1;
}
static_assert(inOptionOrder(), "kOptions holds every option once, in the order of Option");

const OptionText& textOf(Option option)
{
    return kOptions[static_cast<int>(option)];
}

QString description()
{
    return CommandLine::tr(
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
        "      later");
}

} // namespace

CommandLine::CommandLine()
{
    m_parser.setApplicationDescription(description());
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    for (const OptionText& text : kOptions) {
        const QString name = QLatin1StringView(text.name);
        m_options.push_back(text.valueName
                                ? QCommandLineOption(name, tr(text.description), tr(text.valueName))
                                : QCommandLineOption(name, tr(text.description)));
        m_parser.addOption(m_options.back());
    }
    m_parser.addPositionalArgument(tr("command"),
                                   tr("new, list, read, ports, import, export, report or users"));
    m_parser.addPositionalArgument(tr("DB"), tr("the database file"));
}

bool CommandLine::Parse(const QStringList& arguments)
{
    return m_parser.parse(arguments);
}

bool CommandLine::HelpAsked() const
{
    return m_parser.isSet(QStringLiteral("help"));
}

bool CommandLine::VersionAsked() const
{
    return m_parser.isSet(QStringLiteral("version"));
}

const QCommandLineOption& CommandLine::Of(Option option) const
{
    return m_options.at(static_cast<std::size_t>(option));
}

bool CommandLine::IsSet(Option option) const
{
    return m_parser.isSet(Of(option));
}

QString CommandLine::Value(Option option) const
{
    return IsSet(option) ? m_parser.value(Of(option)) : QString();
}

QStringList CommandLine::Values(Option option) const
{
    return m_parser.values(Of(option));
}

FilterOptions CommandLine::Filter() const
{
    return {Value(Option::From), Value(Option::To), Values(Option::User), Value(Option::Button),
            Value(Option::Name)};
}

QString CommandLine::MisplacedOption(const Command* command) const
{
    for (const Option option : kMisplacedOrder) {
        if (IsSet(option) && !(command && command->Takes(option)))
            return tr(textOf(option).misplaced).arg(QLatin1StringView(textOf(option).name));
    }
    return {};
}

int CommandLine::UsageError(const QString& what) const
{
    return ReportUsageError(Words(), what);
}
