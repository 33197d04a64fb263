#pragma once

#include "cli/command.h"
#include "cli/filteroptions.h"
#include "db/location/location.h"

#include <QString>

struct ExportRequest
{
    Location db;
    FilterOptions filter;
    QString output;   // empty: standard output
    bool raw = false; // names as they are, not guarded against formulas
};

// zqreader-cli export DB [FILTER]: the rows of the list as CSV.
class ExportCommand : public Command
{
public:
    ExportCommand();
    int Run(const CommandLine& line) const override;
};
