#pragma once

#include "cli/command.h"

// zqreader-cli import MDB DB: copies the users and events of an Access
// database into a new ZQreader database.
class ImportCommand : public Command
{
public:
    ImportCommand();
    int Run(const CommandLine& line) const override;
};
