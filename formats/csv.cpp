#include "formats/csv.h"

#include <QCoreApplication>
#include <QStringDecoder>

namespace {

class Reader
{
public:
    explicit Reader(QByteArrayView bytes) : m_bytes(bytes)
    {
        if (m_bytes.startsWith("\xEF\xBB\xBF"))
            m_pos = 3;
    }

    CsvDocument ReadAll()
    {
        CsvDocument doc;
        while (m_pos < m_bytes.size()) {
            const int first = m_line;
            QStringList fields;
            const QString error = ReadRecord(fields);
            if (error.isEmpty())
                doc.records.append({first, fields});
            else
                doc.errors.append({first, error});
        }
        return doc;
    }

private:
    bool AtEnd() const { return m_pos >= m_bytes.size(); }
    char Peek(qsizetype ahead = 0) const
    {
        return m_pos + ahead < m_bytes.size() ? m_bytes[m_pos + ahead] : '\0';
    }
    // Whether a line end is next; it is consumed.
    bool TakeLineEnd()
    {
        const int size = Peek() == '\n' ? 1 : (Peek() == '\r' && Peek(1) == '\n') ? 2 : 0;
        if (size == 0)
            return false;
        m_pos += size;
        ++m_line;
        return true;
    }
    // After a fault: on to the start of the next line.
    void SkipLine()
    {
        while (!AtEnd() && !TakeLineEnd())
            ++m_pos;
    }

    QString ReadRecord(QStringList& fields)
    {
        for (;;) {
            QByteArray raw;
            if (Peek() == '"') {
                const int opened = m_line;
                ++m_pos;
                for (;;) {
                    if (AtEnd())
                        return QCoreApplication::translate(
                                   "Csv", "the quote opened on line %1 is not closed")
                            .arg(opened);
                    const char c = Peek();
                    if (c == '"' && Peek(1) == '"') {
                        raw += '"';
                        m_pos += 2;
                    } else if (c == '"') {
                        ++m_pos;
                        break;
                    } else {
                        if (c == '\n')
                            ++m_line;
                        raw += c;
                        ++m_pos;
                    }
                }
                if (!AtEnd() && Peek() != ',' && Peek() != '\n' &&
                    !(Peek() == '\r' && Peek(1) == '\n')) {
                    SkipLine();
                    return QCoreApplication::translate("Csv",
                                                       "text after the closing quote of field %1")
                        .arg(fields.size() + 1);
                }
            } else {
                while (!AtEnd() && Peek() != ',' && Peek() != '\n' &&
                       !(Peek() == '\r' && Peek(1) == '\n')) {
                    if (Peek() == '"') {
                        SkipLine();
                        return QStringLiteral("a quote inside field %1, which does not start "
                                              "with one")
                            .arg(fields.size() + 1);
                    }
                    raw += Peek();
                    ++m_pos;
                }
            }
            // Kept as read: a byte order mark inside a field is text.
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom |
                                                          QStringDecoder::Flag::Stateless);
            const QString text = utf8.decode(raw);
            if (utf8.hasError()) {
                SkipLine();
                return QCoreApplication::translate("Csv", "field %1 is not UTF-8 text")
                    .arg(fields.size() + 1);
            }
            fields.append(text);
            if (Peek() == ',' && !AtEnd()) {
                ++m_pos;
                continue;
            }
            TakeLineEnd();
            return {};
        }
    }

    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
    int m_line = 1;
};

} // namespace

CsvDocument ParseCsv(QByteArrayView bytes)
{
    return Reader(bytes).ReadAll();
}

void AppendCsvField(std::string& out, QByteArrayView utf8)
{
    // A field that begins with a byte order mark would lose it to the reader
    // when it opens a file; quoted, the mark is plainly part of the field.
    bool quote = utf8.startsWith(QByteArrayView("\xEF\xBB\xBF"));
    for (const char c : utf8) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        out.append(utf8.data(), size_t(utf8.size()));
        return;
    }
    out += '"';
    for (const char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

namespace {

bool formulaStart(char16_t c)
{
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

// Whether the text is at least that many quotes, then a character that starts
// a formula.
template <typename Text> bool guardedForm(const Text& text, qsizetype quotes)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char('\''))
        ++i;
    return i >= quotes && i < text.size() && formulaStart(text[i].unicode());
}

} // namespace

void AppendCsvText(std::string& out, QByteArrayView utf8, CsvText how)
{
    if (how == CsvText::Guarded && guardedForm(QLatin1String(utf8.data(), utf8.size()), 0)) {
        std::string guarded(1, '\'');
        guarded.append(utf8.data(), size_t(utf8.size()));
        AppendCsvField(out, QByteArrayView(guarded.data(), qsizetype(guarded.size())));
        return;
    }
    AppendCsvField(out, utf8);
}

QString UnguardedText(const QString& field)
{
    return guardedForm(field, 1) ? field.mid(1) : field;
}

void AppendCsvRecord(std::string& out, const QStringList& fields)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        AppendCsvField(out, fields.at(i).toUtf8());
    }
    out += kCsvLineEnd;
}
