#include "view/textfit.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <algorithm>

namespace {

// Room left for kerning and rounding between the advances summed here and
// the ones the text is laid out with.
constexpr qreal kSlack = 1.0;

} // namespace

TextFit::TextFit(const QFont& font) : m_font(font), m_digits(font)
{
    const QFontMetrics fm(font);
    m_ascent = fm.ascent();
    m_lineHeight = fm.height() + std::max(0, fm.leading());
    const QFontMetricsF fmf(font);
    for (size_t i = 0; i < m_glyphs.size(); ++i) {
        const QChar c(char16_t(0x20 + i));
        m_glyphs[i] = {fmf.horizontalAdvance(c), fmf.boundingRect(c)};
    }
}

bool TextFit::InkInside(const QRectF& ink, int width) const
{
    return ink.isEmpty() || (ink.left() >= 0 && ink.right() <= width - kSlack &&
                             ink.top() >= -m_ascent && ink.bottom() <= m_lineHeight - m_ascent);
}

bool TextFit::Fits(const QString& text, int width) const
{
    qreal pen = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u >= 0x7F)
            return InkInside(QFontMetricsF(m_font).boundingRect(text), width);
        const Glyph& g = m_glyphs[u - 0x20];
        if (!InkInside(g.ink.translated(pen, 0), width))
            return false;
        pen += g.advance;
    }
    return true;
}
