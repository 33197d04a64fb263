#include "view/textfit.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

// Room left for kerning and rounding between the advances summed here and
// the ones the text is laid out with.
constexpr qreal kSlack = 1.0;
// Texts kept measured or laid out, such as the names of the users.
constexpr qsizetype kKeptTexts = 2048;
// More characters than any column can show: a longer text is cut to this
// before it is measured, so that a name of any length costs the same.
constexpr qsizetype kLongestShown = 1024;

template <class Value> void makeRoom(QHash<QString, Value>& kept)
{
    if (kept.size() >= kKeptTexts)
        kept.clear();
}

} // namespace

TextFit::TextFit(const QFont& font) : m_font(font), m_digits(font), m_raw(QRawFont::fromFont(font))
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
        if (u < 0x20 || u >= 0x7F) {
            auto ink = m_inks.constFind(text);
            if (ink == m_inks.cend()) {
                makeRoom(m_inks);
                ink = m_inks.insert(text, QFontMetricsF(m_font).boundingRect(text));
            }
            return InkInside(*ink, width);
        }
        const Glyph& g = m_glyphs[u - 0x20];
        if (!InkInside(g.ink.translated(pen, 0), width))
            return false;
        pen += g.advance;
    }
    return true;
}

bool TextFit::LaysOutOnce(const QString& text) const
{
    // Other fonts that stand in for missing characters, and text written
    // right to left, can come out differently.
    for (const char32_t c : text.toUcs4()) {
        switch (QChar::direction(c)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI:
            return false;
        default:
            break;
        }
        if (!QChar::isPrint(c) || !m_raw.supportsCharacter(c))
            return false;
    }
    return m_raw.isValid();
}

void TextFit::Draw(QPainter& painter, QPoint at, const QString& text) const
{
    if (m_digits.Draw(painter, at, text))
        return;
    auto laidOut = m_laidOut.find(text);
    if (laidOut == m_laidOut.end()) {
        makeRoom(m_laidOut);
        std::optional<QStaticText> made;
        if (LaysOutOnce(text)) {
            made.emplace(text);
            made->setTextFormat(Qt::PlainText);
        }
        laidOut = m_laidOut.emplace(text, std::move(made));
    }
    if (*laidOut && painter.layoutDirection() != Qt::RightToLeft && painter.font() == m_font)
        painter.drawStaticText(at - QPoint(0, m_ascent), **laidOut);
    else
        painter.drawText(at, text);
}

int TextFit::Width(const QString& text) const
{
    qreal pen = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u >= 0x7F)
            return int(std::ceil(QFontMetricsF(m_font).horizontalAdvance(text)));
        pen += m_glyphs[u - 0x20].advance;
    }
    return int(std::ceil(pen));
}

QString TextFit::Elided(const QString& text, int width) const
{
    if (text.size() <= kLongestShown && Fits(text, width))
        return text;
    const QString start = text.size() > kLongestShown ? text.left(kLongestShown) : text;
    const QString elided = QFontMetrics(m_font).elidedText(start, Qt::ElideRight, width);
    // Cut short before: the end is gone in any case.
    return elided == start && start.size() < text.size() ? elided + QChar(0x2026) : elided;
}
