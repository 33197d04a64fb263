#include "formats/eventexport.h"

#include "db/backend/dbexception.h"
#include "formats/csv.h"
#include "formats/rowtext.h"

#include <algorithm>
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

// A button the receiver wrote is a number, and a negative one is no formula:
// it is written as it is.
bool wholeNumber(QByteArrayView text)
{
    if (text.startsWith('-'))
        text = text.sliced(1);
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
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
        AppendCsvText(out, name, m_text);
        out += ',';
        appendNumber(out, timer);
        out += ',';
        AppendCsvText(out, button, wholeNumber(button) ? CsvText::Raw : m_text);
        out += kCsvLineEnd;
        return;
    }
    const CTime when = CTime::FromDbText(row.Value(Column::Date).toString());
    AppendCsvField(out, when.Format("%Y-%m-%d").toUtf8());
    out += ',';
    AppendCsvField(out, when.Format("%H:%M:%S").toUtf8());
    out += ',';
    appendNumber(out, row.Value(Column::UserNo).toInt());
    out += ',';
    AppendCsvText(out, row.Value(Column::Name).toString().toUtf8(), m_text);
    out += ',';
    appendNumber(out, row.Value(Column::Timer).toInt());
    out += ',';
    const QByteArray otherButton = row.Value(Column::Button).toString().toUtf8();
    AppendCsvText(out, otherButton, wholeNumber(otherButton) ? CsvText::Raw : m_text);
    out += kCsvLineEnd;
}

ExportOutcome ExportEventsCsv(CDatabase& db, const JoinFilter& filter, CsvText text,
                              const std::function<void(QByteArrayView piece)>& write,
                              const std::function<bool(qint64 rows, qint64 eventIndex)>& progress)
{
    constexpr size_t kWriteAt = size_t{64} * 1024;
    constexpr qint64 kProgressEvery = 4096;
    std::string buffer;
    buffer.reserve(kWriteAt + 1024);
    auto flush = [&] {
        write(QByteArrayView(buffer.data(), qsizetype(buffer.size())));
        buffer.clear();
    };
    ExportOutcome outcome;
    CsvExportWriter writer(text);
    CsvExportWriter::AppendHeader(buffer);
    StreamJoinedRows(
        db,
        [&](const JoinedRowValues& row) {
            writer.Append(buffer, row);
            ++outcome.rows;
            if (buffer.size() >= kWriteAt)
                flush();
            if (progress && outcome.rows % kProgressEvery == 0 &&
                !progress(outcome.rows, row.Value(Column::EventIndex).toLongLong())) {
                outcome.stopped = true;
                return false;
            }
            return true;
        },
        filter);
    flush();
    return outcome;
}
