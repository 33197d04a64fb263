#pragma once

#include "cli/command.h"

// zqreader-cli list DB [FILTER]: the rows of the list, one a line, as the
// desktop shows them.
class ListCommand : public Command
{
public:
    ListCommand();
    int Run(const CommandLine& line) const override;
};
