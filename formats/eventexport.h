#pragma once

#include "db/joinstream.h"
#include "db/record/ctime.h"
#include "formats/csv.h"

#include <functional>
#include <string>

class CDatabase;

// The event list as comma-separated values (see csv.h): a header
// "date,time,user_no,user_name,timer,button", then each row of the list with
// the texts the list shows, the numbers without padding. The text columns
// (user_name, button) are written as text says (see CsvText).
class CsvExportWriter
{
public:
    explicit CsvExportWriter(CsvText text) : m_text(text) {}
    static void AppendHeader(std::string& out);
    void Append(std::string& out, const JoinedRowValues& row);

private:
    CsvText m_text;
    StoredTextCheck m_dates;
};

struct ExportOutcome
{
    qint64 rows = 0;
    bool stopped = false; // progress asked to stop
};

// Writes the header and the rows the filter lets through, in the
// order of the list, a piece at a time: the rows are never all in memory.
// progress, when given, is called every few thousand rows with the rows
// written so far and the event INDEX reached; it returns false to stop.
// write takes each piece of the file and throws CDBException when it cannot
// be written. Throws CDBException.
ExportOutcome
ExportEventsCsv(CDatabase& db, const JoinFilter& filter, CsvText text,
                const std::function<void(QByteArrayView piece)>& write,
                const std::function<bool(qint64 rows, qint64 eventIndex)>& progress = {});
