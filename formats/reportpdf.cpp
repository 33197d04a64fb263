#include "formats/reportpdf.h"

#include "formats/reportchart.h"

#include <QBuffer>
#include <QDateTime>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace {

const char* periodName(ReportPeriod period)
{
    switch (period) {
    case ReportPeriod::Day:
        return "day";
    case ReportPeriod::Week:
        return "week";
    case ReportPeriod::Month:
        return "month";
    }
    return "day";
}

// The table's lines: the period rows, then the totals.
QVector<QStringList> tableLines(const Report& report)
{
    QVector<QStringList> lines;
    auto add = [&lines](const QString& period, const QString& userNo, const QString& name,
                        const ReportCounts& c) {
        lines.append({period, userNo, name, QString::number(c.events), QString::number(c.button1),
                      c.first, c.last});
    };
    for (const ReportRow& row : report.rows)
        add(row.period, QString::number(row.userNo), row.name, row.counts);
    for (const ReportRow& row : report.userTotals)
        add(QStringLiteral("Total"), QString::number(row.userNo), row.name, row.counts);
    add(QStringLiteral("Total"), QString(), QStringLiteral("All users"), report.total);
    return lines;
}

} // namespace

ReportTitle ReportTitleFor(const Location& db, const ReportOptions& options)
{
    ReportTitle title;
    title.database = db.Shown();
    const JoinFilter& f = options.filter;
    title.range =
        QStringLiteral("Events %1 %2, by %3")
            .arg(f.from.isEmpty() ? QStringLiteral("from the first")
                                  : QStringLiteral("from ") + f.from,
                 f.to.isEmpty() ? QStringLiteral("to the last") : QStringLiteral("before ") + f.to,
                 QLatin1String(periodName(options.by)));
    // The dates are those of the range; the rest of the filter named as the
    // list's bar names it.
    JoinFilter undated = f;
    undated.from.clear();
    undated.to.clear();
    title.filter = undated.IsEmpty() ? QStringLiteral("Every row of the list")
                                     : QStringLiteral("Filter: ") + undated.Described();
    return title;
}

int PaintReportPages(QPagedPaintDevice& device, const Report& report, const ReportTitle& title)
{
    QPainter painter(&device);
    QFont font(QStringLiteral("Sans Serif"));
    font.setPointSizeF(9);
    painter.setFont(font);
    const QFontMetricsF metrics(painter.font(), &device);
    const qreal line = metrics.height() * 1.25;
    const qreal gap = metrics.averageCharWidth() / 2; // between a column and the next
    const QRectF page(0, 0, device.width(), device.height());

    static const char* const kHeads[] = {"Period",   "No.",   "User name", "Events",
                                         "Button 1", "First", "Last"};
    static const qreal kShares[] = {0.12, 0.08, 0.20, 0.08, 0.10, 0.21, 0.21};
    const QVector<QStringList> lines = tableLines(report);
    const qreal headerHeight = line * 4;
    const qreal footerHeight = line * 1.5;
    const qreal body = page.height() - headerHeight - footerHeight;
    const int perPage = std::max(1, int(body / line) - 1); // a line for the column heads
    const int pages = 1 + int((lines.size() + perPage - 1) / perPage);

    auto frame = [&](int number) {
        painter.setPen(Qt::black);
        const QStringList head = {QStringLiteral("Report of ") + title.database, title.range,
                                  title.filter};
        for (int i = 0; i < head.size(); ++i)
            painter.drawText(QRectF(0, line * i, page.width(), line),
                             Qt::AlignLeft | Qt::AlignVCenter,
                             metrics.elidedText(head.at(i), Qt::ElideMiddle, page.width()));
        painter.drawLine(QPointF(0, line * 3.5), QPointF(page.width(), line * 3.5));
        painter.drawText(QRectF(0, page.height() - line, page.width(), line), Qt::AlignCenter,
                         QStringLiteral("Page %1 of %2").arg(number).arg(pages));
    };

    frame(1);
    const qreal half = body / 2;
    PaintPeriodChart(painter, QRectF(0, headerHeight, page.width(), half - line), report);
    PaintHourChart(painter, QRectF(0, headerHeight + half, page.width(), half - line), report);

    for (int number = 2; number <= pages; ++number) {
        device.newPage();
        frame(number);
        qreal y = headerHeight;
        auto row = [&](const QStringList& cells, bool bold) {
            QFont f = font;
            f.setBold(bold);
            painter.setFont(f);
            qreal x = 0;
            for (int c = 0; c < cells.size(); ++c) {
                const qreal w = page.width() * kShares[c];
                const Qt::Alignment align =
                    ((c == 1 || c == 3 || c == 4) ? Qt::AlignRight : Qt::AlignLeft) |
                    Qt::AlignVCenter;
                painter.drawText(QRectF(x + gap, y, w - 2 * gap, line), static_cast<int>(align),
                                 metrics.elidedText(cells.at(c), Qt::ElideRight, w - 2 * gap));
                x += w;
            }
            y += line;
        };
        QStringList heads;
        for (const char* head : kHeads)
            heads.append(QLatin1String(head));
        row(heads, true);
        const qsizetype start = qsizetype(number - 2) * perPage;
        for (qsizetype i = start; i < std::min<qsizetype>(start + perPage, lines.size()); ++i)
            row(lines.at(i), false);
        painter.setFont(font);
    }
    return pages;
}

QByteArray ReportPdf(const Report& report, const ReportTitle& title)
{
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("ZQreader report"));
        writer.setCreator(QStringLiteral("ZQreader"));
        PaintReportPages(writer, report, title);
    }
    return bytes;
}
