#include "formats/reportcsv.h"

#include <QStringEncoder>
#include <charconv>

namespace {

// Writes the rows with no allocation of their own: a year's report holds
// some hundred thousand of them, and a text and a buffer each field made
// the writing take as long as the counting's last part.
class RowWriter
{
public:
    RowWriter(std::string& out, CsvText text) : m_out(out), m_text(text) {}

    void Row(QStringView period, const ReportRow* user, const ReportCounts& counts)
    {
        AppendCsvField(m_out, utf8(period));
        m_out += ',';
        if (user)
            number(user->userNo);
        m_out += ',';
        AppendCsvText(m_out, utf8(user ? QStringView(user->name) : QStringView()), m_text);
        m_out += ',';
        number(counts.events);
        m_out += ',';
        number(counts.button1);
        m_out += ',';
        AppendCsvField(m_out, utf8(counts.first));
        m_out += ',';
        AppendCsvField(m_out, utf8(counts.last));
        m_out += kCsvLineEnd;
    }

private:
    QByteArrayView utf8(QStringView text)
    {
        m_buffer.resize(m_encoder.requiredSpace(text.size()));
        char* end = m_encoder.appendToBuffer(m_buffer.data(), text);
        return {m_buffer.constData(), end - m_buffer.constData()};
    }
    void number(qint64 value)
    {
        char digits[24];
        const auto result = std::to_chars(std::begin(digits), std::end(digits), value);
        m_out.append(digits, size_t(result.ptr - digits));
    }

    std::string& m_out;
    const CsvText m_text;
    QStringEncoder m_encoder{QStringEncoder::Utf8};
    QByteArray m_buffer;
};

} // namespace

std::string ReportCsv(const Report& report, CsvText text)
{
    std::string out = "period,user_no,user_name,events,button_1,first,last";
    // About a line's length a row: a year of rows without growing it again.
    out.reserve(size_t(report.rows.size() + report.userTotals.size() + 2) * 72);
    out += kCsvLineEnd;
    RowWriter writer(out, text);
    for (const ReportRow& row : report.rows)
        writer.Row(row.period, &row, row.counts);
    for (const ReportRow& row : report.userTotals)
        writer.Row(u"total", &row, row.counts);
    writer.Row(u"total", nullptr, report.total);
    return out;
}
