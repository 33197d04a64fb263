#include "formats/eventexport.h"

#include "db/backend/dbexception.h"
#include "formats/csv.h"
#include "formats/rowtext.h"

#include <QIODevice>
#include <charconv>
#include <limits>

namespace {

using Column = JoinedRowValues::Column;

void appendNumber(std::string& out, qint64 value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, size_t(end - digits));
}

// A text column copied as it is stored, when that is what reading it gives.
bool plainText(const JoinedRowValues& row, Column column, QByteArrayView* text)
{
    if (row.Text(column, text))
        return IsPlainUtf8(*text);
    *text = {};
    return row.IsNull(column);
}

} // namespace

void CsvExportWriter::AppendHeader(std::string& out)
{
    out += "date,time,user_no,user_name,timer,button";
    out += kCsvLineEnd;
}

void CsvExportWriter::Append(std::string& out, const JoinedRowValues& row)
{
    QByteArrayView date;
    QByteArrayView name;
    QByteArrayView button;
    qint32 userNo = 0;
    qint32 timer = 0;
    if (row.Text(Column::Date, &date) && m_dates.ShowsAsItself(date) &&
        WholeNumber(row, Column::UserNo, &userNo) && WholeNumber(row, Column::Timer, &timer) &&
        plainText(row, Column::Name, &name) && plainText(row, Column::Button, &button)) {
        out.append(date.data(), 10);
        out += ',';
        out.append(date.data() + 11, 8);
        out += ',';
        appendNumber(out, userNo);
        out += ',';
        AppendCsvField(out, name);
        out += ',';
        appendNumber(out, timer);
        out += ',';
        AppendCsvField(out, button);
        out += kCsvLineEnd;
        return;
    }
    const CTime when = CTime::FromDbText(row.Value(Column::Date).toString());
    AppendCsvRecord(out, {when.Format("%Y-%m-%d"), when.Format("%H:%M:%S"),
                          QString::number(row.Value(Column::UserNo).toInt()),
                          row.Value(Column::Name).toString(),
                          QString::number(row.Value(Column::Timer).toInt()),
                          row.Value(Column::Button).toString()});
}

ExportOutcome ExportEventsCsv(CDatabase& db, const JoinFilter& filter, QIODevice& out,
                              const std::function<bool(qint64 rows, qint64 eventIndex)>& progress)
{
    constexpr size_t kWriteAt = size_t{64} * 1024;
    constexpr qint64 kProgressEvery = 4096;
    std::string buffer;
    buffer.reserve(kWriteAt + 1024);
    auto write = [&] {
        if (out.write(buffer.data(), qint64(buffer.size())) != qint64(buffer.size()))
            throw CDBException(QStringLiteral("The file cannot be written: ") + out.errorString());
        buffer.clear();
    };
    ExportOutcome outcome;
    CsvExportWriter writer;
    CsvExportWriter::AppendHeader(buffer);
    StreamJoinedRows(
        db,
        [&](const JoinedRowValues& row) {
            writer.Append(buffer, row);
            ++outcome.rows;
            if (buffer.size() >= kWriteAt)
                write();
            if (progress && outcome.rows % kProgressEvery == 0 &&
                !progress(outcome.rows, row.Value(Column::EventIndex).toLongLong())) {
                outcome.stopped = true;
                return false;
            }
            return true;
        },
        filter);
    write();
    return outcome;
}
