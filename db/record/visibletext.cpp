#include "db/record/visibletext.h"

namespace {

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

} // namespace

bool HasControlCharacter(QStringView text)
{
    for (const QChar c : text) {
        if (isControl(c.unicode()))
            return true;
    }
    return false;
}

bool HasControlCharacterUtf8(QByteArrayView text)
{
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = s[i];
        if (c < 0x20 || c == 0x7F)
            return true;
        // C1 is C2 80 to C2 9F, the separators E2 80 A8 and E2 80 A9.
        if (c == 0xC2 && i + 1 < n && s[i + 1] >= 0x80 && s[i + 1] <= 0x9F)
            return true;
        if (c == 0xE2 && i + 2 < n && s[i + 1] == 0x80 && (s[i + 2] == 0xA8 || s[i + 2] == 0xA9))
            return true;
    }
    return false;
}

QString VisibleText(const QString& text)
{
    if (!HasControlCharacter(text))
        return text;
    QString shown;
    shown.reserve(text.size() + 8);
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (!isControl(c))
            shown += ch;
        else if (c == u'\t')
            shown += QLatin1String("\\t");
        else if (c == u'\n')
            shown += QLatin1String("\\n");
        else if (c == u'\r')
            shown += QLatin1String("\\r");
        else if (c < 0x100)
            shown += QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'));
        else
            shown += QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0'));
    }
    return shown;
}
