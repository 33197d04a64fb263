#include "cli/usage.h"

#include "cli/exitcodes.h"

#include <cstdio>

namespace {

struct Synopsis
{
    const char* command; // the words that name it
    const char* rest;    // what follows them
};

// In the order of the help.
constexpr Synopsis kSynopses[] = {
    {"new", "DB"},
    {"list", "DB [--from DATE] [--to DATE] [--user USER_NO]... [--button 0|1] [--name TEXT]"},
    {"read", "DB [--port NAME] [--log-line] [--exit-nothing-new]"},
    {"ports", "[--verbose]"},
    {"import", "MDB DB"},
    {"export", "DB [--from DATE] [--to DATE] [--user USER_NO]... [--button 0|1] [--name TEXT] "
               "[--output FILE] [--raw]"},
    {"report", "DB [--from DATE] [--to DATE] [--user USER_NO]... [--button 0|1] [--name TEXT] "
               "[--by day|week|month] [--format csv|pdf] [--output FILE]"},
    {"users list", "DB"},
    {"users add", "DB NAME USER_NO FROM [TO]"},
    {"users import", "DB FILE.csv [--raw]"},
    {"users export", "DB [--raw]"},
};

QString line(const Synopsis& s)
{
    return QStringLiteral("zqreader-cli %1 %2")
        .arg(QLatin1String(s.command), QLatin1String(s.rest));
}

// The synopses whose command is words joined, else those in the group words
// begins.
QStringList matching(const QString& command, bool group)
{
    QStringList found;
    for (const Synopsis& s : kSynopses) {
        const QString name = QLatin1String(s.command);
        if (group ? name.startsWith(command + QLatin1Char(' ')) : name == command)
            found << line(s);
    }
    return found;
}

} // namespace

QStringList CommandUsage(const QStringList& words)
{
    const QString first = words.value(0);
    QStringList found = matching(first + QLatin1Char(' ') + words.value(1), false);
    if (found.isEmpty())
        found = matching(first, false);
    if (found.isEmpty())
        found = matching(first, true);
    if (found.isEmpty())
        found << QStringLiteral("zqreader-cli COMMAND [ARGUMENTS], COMMAND one of new, list, "
                                "read, ports, import, export, report, users");
    return found;
}

int ReportUsageError(const QStringList& words, const QString& what)
{
    const QStringList lines = CommandUsage(words);
    QString text = QStringLiteral("zqreader-cli: ") + what + QLatin1Char('\n');
    for (int i = 0; i < lines.size(); ++i)
        text += (i == 0 ? QStringLiteral("Usage: ") : QStringLiteral("       ")) + lines.at(i) +
                QLatin1Char('\n');
    text += QStringLiteral("Try 'zqreader-cli --help'.\n");
    std::fputs(qUtf8Printable(text), stderr);
    return exitcode::kUsage;
}
