#include "db/record/visibletext.h"

namespace {

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200D) ||
           (c >= 0x2028 && c <= 0x202E) || c == 0x2060 || (c >= 0x2066 && c <= 0x2069) ||
           c == 0xFEFF;
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
        // C1 is C2 80 to C2 9F; U+200B to U+200D are E2 80 8B to 8D, the
        // separators and embeddings U+2028 to U+202E E2 80 A8 to AE, U+2060
        // E2 81 A0, the isolates U+2066 to U+2069 E2 81 A6 to A9; U+FEFF is
        // EF BB BF.
        if (c == 0xC2 && i + 1 < n && s[i + 1] >= 0x80 && s[i + 1] <= 0x9F)
            return true;
        if (c == 0xE2 && i + 2 < n) {
            const unsigned char b = s[i + 1];
            const unsigned char d = s[i + 2];
            if (b == 0x80 && ((d >= 0x8B && d <= 0x8D) || (d >= 0xA8 && d <= 0xAE)))
                return true;
            if (b == 0x81 && (d == 0xA0 || (d >= 0xA6 && d <= 0xA9)))
                return true;
        }
        if (c == 0xEF && i + 2 < n && s[i + 1] == 0xBB && s[i + 2] == 0xBF)
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
