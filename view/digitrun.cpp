#include "view/digitrun.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>

namespace {

const QString kCharacters = QStringLiteral("0123456789 -:");

} // namespace

int DigitRun::Slot(char16_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return c == ' ' ? 10 : c == '-' ? 11 : c == ':' ? 12 : -1;
}

DigitRun::DigitRun(const QFont& font) : m_raw(QRawFont::fromFont(font))
{
    if (!m_raw.isValid())
        return;
    const QList<quint32> glyphs = m_raw.glyphIndexesForString(kCharacters);
    const QList<QPointF> advances = m_raw.advancesForGlyphIndexes(glyphs);
    if (glyphs.size() != kCharacters.size() || advances.size() != glyphs.size())
        return;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        if (glyphs.at(i) == 0)
            return;
        m_glyphs[i] = glyphs.at(i);
        m_advances[i] = advances.at(i).x();
    }
    const QFontMetricsF fm(font);
    for (qsizetype a = 0; a < kCharacters.size(); ++a) {
        for (qsizetype b = 0; b < kCharacters.size(); ++b) {
            const QString pair = QString(kCharacters.at(a)) + kCharacters.at(b);
            if (fm.horizontalAdvance(pair) != m_advances[a] + m_advances[b])
                return;
        }
    }
    m_run.setRawFont(m_raw);
    m_usable = true;
}

bool DigitRun::Draw(QPainter& painter, QPointF at, const QString& text) const
{
    if (!m_usable || text.size() > kLongest)
        return false;
    std::array<quint32, kLongest> glyphs;
    std::array<QPointF, kLongest> positions;
    qreal x = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int slot = Slot(text.at(i).unicode());
        if (slot < 0)
            return false;
        glyphs[i] = m_glyphs[slot];
        positions[i] = QPointF(x, 0);
        x += m_advances[slot];
    }
    // Read in place while it is drawn.
    m_run.setRawData(glyphs.data(), positions.data(), static_cast<int>(text.size()));
    painter.drawGlyphRun(at, m_run);
    m_run.setRawData(nullptr, nullptr, 0);
    return true;
}
