#pragma once

// A PDF read back with poppler's tools: its text as laid out, and the
// boxes of the words of a page.

#include "tests/support/programrun.h"

#include <QRectF>
#include <QRegularExpression>
#include <QStringList>
#include <QVector>

namespace pdftext {

// The pages' text as pdftotext -layout gives it, split at each page's end.
inline QStringList LaidOut(const QString& pdf)
{
    QStringList pages = testrun::Run({QStringLiteral("-layout"), pdf, QStringLiteral("-")},
                                     {.program = QStringLiteral("pdftotext")})
                            .out.split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

struct Word
{
    QRectF box;
    QString text;
};

// The words of one page (from 1) and where they are.
inline QVector<Word> Words(const QString& pdf, int page)
{
    const QString page_ = QString::number(page);
    const QString html = testrun::Run({QStringLiteral("-bbox"), QStringLiteral("-f"), page_,
                                       QStringLiteral("-l"), page_, pdf, QStringLiteral("-")},
                                      {.program = QStringLiteral("pdftotext")})
                             .out;
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                       "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QVector<Word> words;
    for (const QRegularExpressionMatch& m : word.globalMatch(html)) {
        const QPointF from(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF to(m.captured(3).toDouble(), m.captured(4).toDouble());
        words.append({QRectF(from, to), m.captured(5)});
    }
    return words;
}

} // namespace pdftext
