#include "formats/rowtext.h"

#include "db/record/visibletext.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace {

using Column = JoinedRowValues::Column;

// What printf's "%s" writes of qUtf8Printable(text).
void appendPrintable(std::string& out, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    out.append(bytes.constData(), std::strlen(bytes.constData()));
}

// "%6d"
void appendNumber(std::string& out, qint32 value)
{
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const size_t n = size_t(end - digits);
    if (n < 6)
        out.append(6 - n, ' ');
    out.append(digits, n);
}

// Whether the bytes come back unchanged through UTF-16 and hold no NUL:
// well-formed UTF-8 without surrogates and without U+FFFE and U+FFFF, which
// SQLite replaces on the way.
bool plainUtf8(QByteArrayView text)
{
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = s + text.size();
    while (s < end) {
        const unsigned char c = *s;
        if (c >= 0x01 && c < 0x80) {
            ++s;
            continue;
        }
        int more;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false; // NUL, a continuation byte or a lead byte never used
        }
        if (end - s <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            if ((s[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (s[i] & 0x3F);
        }
        const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE ||
            cp == 0xFFFF)
            return false;
        s += more + 1;
    }
    return true;
}

} // namespace

bool WholeNumber(const JoinedRowValues& row, JoinedRowValues::Column column, qint32* value)
{
    qint64 v = 0;
    if (!row.Integer(column, &v) || v < std::numeric_limits<qint32>::min() ||
        v > std::numeric_limits<qint32>::max())
        return false;
    *value = qint32(v);
    return true;
}

bool IsPlainUtf8(QByteArrayView text)
{
    return plainUtf8(text);
}

RowTexts FormatRow(CTime date, qint32 userNo, const QString& name, qint32 timer)
{
    return {date.Format("%Y-%m-%d"), date.Format("%H:%M:%S"), QString::asprintf("%6d", userNo),
            VisibleText(name), QString::asprintf("%6d", timer)};
}

void ListLineWriter::Append(std::string& out, const JoinedRowValues& row)
{
    QByteArrayView date;
    QByteArrayView name;
    qint32 userNo = 0;
    qint32 timer = 0;
    if (row.Text(Column::Date, &date) && m_dates.ShowsAsItself(date) &&
        WholeNumber(row, Column::UserNo, &userNo) && WholeNumber(row, Column::Timer, &timer) &&
        (row.Text(Column::Name, &name) ? plainUtf8(name) && !HasControlCharacterUtf8(name)
                                       : row.IsNull(Column::Name))) {
        out.append(date.data(), 10);
        out += '\t';
        out.append(date.data() + 11, 8);
        out += '\t';
        appendNumber(out, userNo);
        out += '\t';
        out.append(name.data(), size_t(name.size()));
        out += '\t';
        appendNumber(out, timer);
        out += '\n';
        return;
    }
    const RowTexts t = FormatRow(
        CTime::FromDbText(row.Value(Column::Date).toString()), row.Value(Column::UserNo).toInt(),
        row.Value(Column::Name).toString(), row.Value(Column::Timer).toInt());
    for (const QString* text : {&t.date, &t.time, &t.userNo, &t.name, &t.timer}) {
        appendPrintable(out, *text);
        out += text == &t.timer ? '\n' : '\t';
    }
}
