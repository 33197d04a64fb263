#include "db/backend/placeholders.h"

namespace {

bool isIdentifierStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool isIdentifierChar(char c)
{
    return isIdentifierStart(c) || (c >= '0' && c <= '9') || c == '$';
}

// Where the text quoted from `at` (its opening quote) ends: just after the
// closing quote, or the end. A doubled quote stays inside; with backslash
// escapes (E'...') a quote after a backslash does too.
qsizetype quotedEnd(const QByteArray& text, qsizetype at, bool backslashes)
{
    const char quote = text[at];
    for (qsizetype i = at + 1; i < text.size(); ++i) {
        if (backslashes && text[i] == '\\') {
            ++i;
        } else if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote)
                ++i;
            else
                return i + 1;
        }
    }
    return text.size();
}

// Where a block comment opened at `at` ends; the server nests them.
qsizetype commentEnd(const QByteArray& text, qsizetype at)
{
    int depth = 0;
    for (qsizetype i = at; i + 1 < text.size(); ++i) {
        if (text[i] == '/' && text[i + 1] == '*') {
            ++depth;
            ++i;
        } else if (text[i] == '*' && text[i + 1] == '/') {
            ++i;
            if (--depth == 0)
                return i + 1;
        }
    }
    return text.size();
}

// The tag of a dollar quote opening at `at` ("$" or "$name$"), or empty when
// the '$' opens none ($1 is a parameter, a$b$ an identifier).
QByteArray dollarTag(const QByteArray& text, qsizetype at)
{
    if (at > 0 && isIdentifierChar(text[at - 1]))
        return {};
    qsizetype i = at + 1;
    if (i < text.size() && text[i] != '$') {
        if (!isIdentifierStart(text[i]))
            return {};
        while (i < text.size() && isIdentifierChar(text[i]) && text[i] != '$')
            ++i;
    }
    if (i >= text.size() || text[i] != '$')
        return {};
    return text.mid(at, i + 1 - at);
}

} // namespace

QByteArray NumberedPlaceholders(const QString& sql, int* count)
{
    const QByteArray text = sql.toUtf8();
    QByteArray out;
    out.reserve(text.size() + 16);
    int n = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char c = text[i];
        qsizetype end = i + 1;
        if (c == '\'' || c == '"') {
            // E'...' (not the end of a longer name) takes backslash escapes.
            const bool escapes = c == '\'' && i > 0 && (text[i - 1] == 'E' || text[i - 1] == 'e') &&
                                 (i < 2 || !isIdentifierChar(text[i - 2]));
            end = quotedEnd(text, i, escapes);
        } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
            end = text.indexOf('\n', i);
            end = end < 0 ? text.size() : end;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            end = commentEnd(text, i);
        } else if (c == '$') {
            const QByteArray tag = dollarTag(text, i);
            if (!tag.isEmpty()) {
                const qsizetype close = text.indexOf(tag, i + tag.size());
                end = close < 0 ? text.size() : close + tag.size();
            }
        } else if (c == '?') {
            out += '$' + QByteArray::number(++n);
            ++i;
            continue;
        }
        out.append(text.constData() + i, end - i);
        i = end;
    }
    *count = n;
    return out;
}
