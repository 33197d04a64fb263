#pragma once

#include "db/location/location.h"

#include <QString>
#include <QStringList>
#include <functional>

struct ReportRequest
{
    Location db;
    QString from;      // empty: from the first event
    QString to;        // empty: to the last
    QString by;        // day, week or month; empty: day
    QStringList users; // user numbers; empty: every one
    QString format;    // csv or pdf; empty: csv
    QString output;    // empty: standard output
};

// zqreader-cli report: the events counted by period and user, as CSV or PDF.
// usage reports a wrong command line and gives its exit status. Returns an
// exit status of cli/exitcodes.h.
int RunReportCommand(const ReportRequest& request, const std::function<int(const QString&)>& usage);
