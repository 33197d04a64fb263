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
    for (const QString& field : {QString::number(counts.events), QString::number(counts.button1),
                                 counts.first, counts.last}) {
        out += ',';
        AppendCsvField(out, field.toUtf8());
    }
    out += kCsvLineEnd;
}

} // namespace

std::string ReportCsv(const Report& report, CsvText text)
{
    std::string out = "period,user_no,user_name,events,button_1,first,last";
    out += kCsvLineEnd;
    for (const ReportRow& row : report.rows)
        appendRow(out, row.period, QString::number(row.userNo), row.name, row.counts, text);
    for (const ReportRow& row : report.userTotals)
        appendRow(out, QStringLiteral("total"), QString::number(row.userNo), row.name, row.counts,
                  text);
    appendRow(out, QStringLiteral("total"), QString(), QString(), report.total, text);
    return out;
}
