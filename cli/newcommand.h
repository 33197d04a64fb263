#pragma once

#include "cli/command.h"

// zqreader-cli new DB: a new database from the template, replacing DB.
class NewCommand : public Command
{
public:
    NewCommand();
    int Run(const CommandLine& line) const override;
};
