#pragma once

#include "cli/command.h"

// zqreader-cli users SUBCOMMAND DB ...: list, add, import and export the
// periods in which users hold their user numbers. --raw (export and import
// only) takes names as they are instead of guarded against formulas (see
// CsvText).
class UsersCommand : public Command
{
public:
    UsersCommand();
    int Run(const CommandLine& line) const override;
};
