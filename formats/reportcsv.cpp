#include "formats/reportcsv.h"

namespace {

void appendRow(std::string& out, const QString& period, const QString& userNo, const QString& name,
               const ReportCounts& counts, CsvText text)
{
    AppendCsvField(out, period.toUtf8());
    out += ',';
    AppendCsvField(out, userNo.toUtf8());
    out += ',';
    AppendCsvText(out, name.toUtf8(), text);
    for (const QByteArray& field :
         {QByteArray::number(counts.events), QByteArray::number(counts.button1),
          counts.first.toUtf8(), counts.last.toUtf8()}) {
        out += ',';
        AppendCsvField(out, field);
    }
    out += kCsvLineEnd;
}

} // namespace

std::string ReportCsv(const Report& report, CsvText text)
{
    std::string out = "period,user_no,user_name,events,button_1,first,last";
    // About a line's length a row: a year of rows without growing it again.
    out.reserve(size_t(report.rows.size() + report.userTotals.size() + 2) * 72);
    out += kCsvLineEnd;
    for (const ReportRow& row : report.rows)
        appendRow(out, row.period, QString::number(row.userNo), row.name, row.counts, text);
    for (const ReportRow& row : report.userTotals)
        appendRow(out, QStringLiteral("total"), QString::number(row.userNo), row.name, row.counts,
                  text);
    appendRow(out, QStringLiteral("total"), QString(), QString(), report.total, text);
    return out;
}
