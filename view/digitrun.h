#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QPointF>
#include <QRawFont>
#include <QString>
#include <array>

class QPainter;

// The texts of the list made of digits, spaces, '-' and ':' drawn from glyphs
// looked up once for a font instead of being laid out each time: the same
// glyphs at the same places as QPainter::drawText() gives them. Used only
// when the font lays out every pair of these characters as the sum of their
// advances (no kerning or ligatures among them).
class DigitRun
{
public:
    explicit DigitRun(const QFont& font);

    bool IsUsable() const { return m_usable; }
    // Draws text with the left end of its baseline at `at`; false, drawing
    // nothing, when it holds other characters or the font is not usable.
    bool Draw(QPainter& painter, QPointF at, const QString& text) const;

private:
    static constexpr qsizetype kLongest = 32;

    static int Slot(char16_t c);

    QRawFont m_raw;
    bool m_usable = false;
    std::array<quint32, 13> m_glyphs{};
    std::array<qreal, 13> m_advances{};
    mutable QGlyphRun m_run; // of this font, the glyphs of each text set while it is drawn
};
