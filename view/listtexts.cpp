#include "view/listtexts.h"

#include "db/record/visibletext.h"

#include <charconv>

QString PaddedNumber(qint32 value)
{
    char text[24] = "      ";
    const auto digits = std::to_chars(text + 6, text + sizeof text, value);
    const qsizetype n = digits.ptr - (text + 6);
    // Right-aligned in six places, wider numbers as they are.
    const qsizetype from = n < 6 ? n : 6;
    return QString::fromLatin1(text + from, digits.ptr - (text + from));
}

QString ListTexts::Number(qint32 value) const
{
    return m_padded ? PaddedNumber(value) : QString::number(value);
}

RowTexts ListTexts::Make(const ListRow& row)
{
    const QString& d = row.date;
    if (d.size() == 19) {
        char bytes[19];
        bool ascii = true;
        for (int i = 0; i < 19; ++i) {
            const char16_t c = d.at(i).unicode();
            ascii = ascii && c < 0x80;
            bytes[i] = char(c);
        }
        if (ascii && m_dates.ShowsAsItself(QByteArrayView(bytes, 19)))
            return {d.left(10), d.mid(11, 8), Number(row.userNo), VisibleText(row.name),
                    Number(row.timer)};
    }
    RowTexts texts = FormatRow(CTime::FromDbText(d), row.userNo, row.name, row.timer);
    if (!m_padded) {
        texts.userNo = texts.userNo.trimmed();
        texts.timer = texts.timer.trimmed();
    }
    return texts;
}
