#pragma once

#include "cli/command.h"
#include "cli/filteroptions.h"
#include "db/location/location.h"

#include <QString>

struct ReportRequest
{
    Location db;
    FilterOptions filter; // the rows of the list counted, as list and export take them
    QString by;           // day, week or month; empty: day
    QString format;       // csv or pdf; empty: csv
    QString output;       // empty: standard output
};

// zqreader-cli report DB [FILTER]: the events counted by period and user, as
// CSV or PDF.
class ReportCommand : public Command
{
public:
    ReportCommand();
    int Run(const CommandLine& line) const override;
};
