#pragma once

#include <QStringList>

// The synopsis of a command as the help lists it, for the message of a wrong
// command line: "zqreader-cli users add DB NAME USER_NO FROM [TO]". words are
// the command line's first words ("users", "add"); a group named without its
// subcommand gives the synopsis of each, an unknown command one line naming
// the commands.
QStringList CommandUsage(const QStringList& words);

// Tells a wrong command line on standard error: "zqreader-cli: WHAT", the
// usage line(s) of the command named by words and where the whole help is.
// Returns the exit status of a wrong command line.
int ReportUsageError(const QStringList& words, const QString& what);
