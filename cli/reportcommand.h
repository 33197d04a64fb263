#pragma once

#include "cli/filteroptions.h"
#include "db/location/location.h"

#include <QString>
#include <QStringList>
#include <functional>

struct ReportRequest
{
    Location db;
    FilterOptions filter; // the rows of the list counted, as list and export take them
    QString by;           // day, week or month; empty: day
    QString format;       // csv or pdf; empty: csv
    QString output;       // empty: standard output
};

// zqreader-cli report: the events counted by period and user, as CSV or PDF.
// usage reports a wrong command line and gives its exit status. Returns an
// exit status of cli/exitcodes.h.
int RunReportCommand(const ReportRequest& request, const std::function<int(const QString&)>& usage);
