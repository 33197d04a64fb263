#pragma once

#include "cli/filteroptions.h"
#include "db/location/location.h"

#include <QString>
#include <functional>

struct ExportRequest
{
    Location db;
    FilterOptions filter;
    QString output;   // empty: standard output
    bool raw = false; // names as they are, not guarded against formulas
};

// zqreader-cli export: the rows of the list as CSV. usage reports a wrong
// command line and gives its exit status. Returns an exit status of
// cli/exitcodes.h.
int RunExportCommand(const ExportRequest& request, const std::function<int(const QString&)>& usage);
