#pragma once

#include "formats/csv.h"
#include "formats/reportquery.h"

#include <string>

// The report as comma-separated values (see csv.h), header
// "period,user_no,user_name,events,button_1,first,last": a row for each
// period and user in the report's order, then the total of each user
// (period "total") and the total of all (period "total", no user number).
// A user name is written as text says (see CsvText); events without a user
// have an empty name.
std::string ReportCsv(const Report& report, CsvText text);
