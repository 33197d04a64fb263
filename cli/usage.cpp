#include "cli/usage.h"

#include "cli/command.h"
#include "cli/exitcodes.h"

#include <QCoreApplication>
#include <cstdio>

QStringList CommandUsage(const QStringList& words)
{
    if (const Command* command = FindCommand(words.value(0)))
        return command->UsageLines(words.value(1));
    return {QCoreApplication::translate("CommandLine",
                                        "zqreader-cli COMMAND [ARGUMENTS], COMMAND one of new, "
                                        "list, read, ports, import, export, report, users")};
}

int ReportUsageError(const QStringList& words, const QString& what)
{
    const QStringList lines = CommandUsage(words);
    QString text = QStringLiteral("zqreader-cli: ") + what + QLatin1Char('\n');
    for (int i = 0; i < lines.size(); ++i)
        text += (i == 0 ? QCoreApplication::translate("CommandLine", "Usage: ")
                        : QStringLiteral("       ")) +
                lines.at(i) + QLatin1Char('\n');
    text += QCoreApplication::translate("CommandLine", "Try 'zqreader-cli --help'.") +
            QLatin1Char('\n');
    std::fputs(qUtf8Printable(text), stderr);
    return exitcode::kUsage;
}
