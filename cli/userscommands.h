#pragma once

#include <QStringList>
#include <functional>

// zqreader-cli users SUBCOMMAND DB ...: list, add, import and export the
// periods in which users hold their user numbers. args starts with the
// subcommand; raw (export and import only) takes names as they are instead of
// guarded against formulas (see CsvText). usage reports a wrong command line
// and gives its exit status. Returns an exit status of cli/exitcodes.h.
int RunUsersCommand(const QStringList& args, bool raw,
                    const std::function<int(const QString&)>& usage);
