#pragma once

#include "view/digitrun.h"

#include <QFont>
#include <QRectF>
#include <QString>
#include <array>

// Whether a text drawn at the left of a band stays inside it, told from the
// advances and ink of the printable ASCII characters, worked out once for a
// font; other texts are measured whole. A text that stays inside needs no
// clipping to look the same.
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

    // Texts of digits, drawn without laying them out each time.
    const DigitRun& Digits() const { return m_digits; }

private:
    struct Glyph
    {
        qreal advance = 0;
        QRectF ink; // relative to the pen on the baseline; empty for none
    };
    bool InkInside(const QRectF& ink, int width) const;

    QFont m_font;
    int m_ascent = 0;
    int m_lineHeight = 0;
    std::array<Glyph, 0x7F - 0x20> m_glyphs;
    DigitRun m_digits;
};
