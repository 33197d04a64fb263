#pragma once

#include "view/digitrun.h"

#include <QFont>
#include <QHash>
#include <QRawFont>
#include <QRectF>
#include <QStaticText>
#include <QString>
#include <array>
#include <optional>

class QPainter;

// Whether a text drawn at the left of a band stays inside it, told from the
// advances and ink of the printable ASCII characters, worked out once for a
// font; other texts are measured whole, once each. A text that stays inside
// needs no clipping to look the same.
//
// Draws the texts as QPainter::drawText() does, faster: texts of digits from
// their glyphs, other texts laid out once where that gives the same (every
// character is the font's own, none is written right to left).
class TextFit
{
public:
    explicit TextFit(const QFont& font);

    const QFont& Font() const { return m_font; }
    int Ascent() const { return m_ascent; }
    int LineHeight() const { return m_lineHeight; }

    // Drawn with its baseline at Ascent(), whether the ink of text lies within
    // 0 .. width across and 0 .. LineHeight() down.
    bool Fits(const QString& text, int width) const;

    // As painter.drawText(at, text).
    void Draw(QPainter& painter, QPoint at, const QString& text) const;

    // How far the pen moves over text, rounded up to a whole pixel.
    int Width(const QString& text) const;
    // The text cut so that it fits width, ending in "…"; text itself when it
    // fits. Only the start of a very long text is looked at.
    QString Elided(const QString& text, int width) const;

private:
    struct Glyph
    {
        qreal advance = 0;
        QRectF ink; // relative to the pen on the baseline; empty for none
    };
    bool InkInside(const QRectF& ink, int width) const;
    bool LaysOutOnce(const QString& text) const;

    QFont m_font;
    int m_ascent = 0;
    int m_lineHeight = 0;
    std::array<Glyph, 0x7F - 0x20> m_glyphs;
    DigitRun m_digits;
    QRawFont m_raw;
    // Of texts met before; forgotten together when there are too many.
    mutable QHash<QString, QRectF> m_inks;
    mutable QHash<QString, std::optional<QStaticText>> m_laidOut;
};
