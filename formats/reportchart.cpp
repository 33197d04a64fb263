#include "formats/reportchart.h"

#include <QCoreApplication>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>

namespace {

constexpr int kOwnPatterns = 5; // users with a pattern of their own; the rest share one

QBrush patternOf(int series)
{
    static const std::pair<int, Qt::BrushStyle> kPatterns[] = {
        {40, Qt::SolidPattern}, {150, Qt::BDiagPattern}, {110, Qt::SolidPattern},
        {60, Qt::CrossPattern}, {190, Qt::SolidPattern}, {90, Qt::FDiagPattern},
    };
    const auto& [grey, style] = kPatterns[std::clamp(series, 0, kOwnPatterns)];
    return QBrush(QColor(grey, grey, grey), style);
}

bool sameUser(const ReportRow& a, const ReportRow& b)
{
    return a.userNo == b.userNo && a.hasUser == b.hasUser && a.name == b.name;
}

// A round step for the value axis, so that about four lines mark it.
qint64 stepFor(qint64 top)
{
    qint64 step = 1;
    while (step * 10 <= top / 2)
        step *= 10;
    if (step * 5 <= top / 2)
        return step * 5;
    if (step * 2 <= top / 2)
        return step * 2;
    return step;
}

// The next round step after step: 1, 2, 5, 10, 20, 50...
qint64 nextStep(qint64 step)
{
    qint64 decade = 1;
    while (decade * 10 <= step)
        decade *= 10;
    return step / decade == 1 ? decade * 2 : step / decade == 2 ? decade * 5 : decade * 10;
}

QString chartText(const char* text)
{
    return QCoreApplication::translate("ReportChart", text);
}

struct Plot
{
    QRectF bars; // where the bars go
    qint64 top = 1;
    qreal gap = 2; // between a label and what it names
};

// The chart's title, the value axis with its numbers and title, and where
// the bars go; the room under them is left for labels() and the other
// axis's title. Everything is measured by the font, so that a chart reads
// the same on a screen and on paper.
Plot axes(QPainter& painter, const QRectF& area, const QString& title, qint64 largest)
{
    const QFontMetricsF metrics(painter.font(), painter.device());
    const qreal height = metrics.height();
    Plot plot;
    plot.gap = std::max(1.0, height * 0.15);
    const QString valueTitle = chartText("Events");
    const qreal titleWidth = height * 1.2;          // the value axis's title, turned
    const qreal top = height * 2;                   // the title, and the top number below it
    const qreal bottom = height * 2 + plot.gap * 3; // the labels and the axis's title
    const qreal barsHeight = std::max(area.height() - top - bottom, 1.0);
    // About four lines, fewer where they would crowd their numbers.
    qint64 step = stepFor(std::max<qint64>(largest, 1));
    plot.top = std::max<qint64>((largest + step - 1) / step * step, step);
    while (plot.top > step && barsHeight * qreal(step) / qreal(plot.top) < height * 1.2) {
        step = nextStep(step);
        plot.top = std::max<qint64>((largest + step - 1) / step * step, step);
    }
    const qreal numberWidth =
        metrics.horizontalAdvance(QString::number(plot.top)) + metrics.averageCharWidth();
    plot.bars =
        QRectF(area.left() + titleWidth + numberWidth, area.top() + top,
               std::max(area.width() - titleWidth - numberWidth - height * 0.5, 1.0), barsHeight);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(area.left(), area.top(), area.width(), height * 1.4),
                     Qt::AlignLeft | Qt::AlignVCenter, title);
    for (qint64 value = 0; value <= plot.top; value += step) {
        const qreal y = plot.bars.bottom() - plot.bars.height() * qreal(value) / qreal(plot.top);
        painter.setPen(QPen(QColor(200, 200, 200), 0));
        painter.drawLine(QPointF(plot.bars.left(), y), QPointF(plot.bars.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(area.left() + titleWidth, y - height / 2,
                                numberWidth - metrics.averageCharWidth() / 2, height),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(value));
    }
    painter.drawLine(plot.bars.bottomLeft(), plot.bars.bottomRight());
    painter.save();
    painter.translate(area.left() + titleWidth / 2, plot.bars.center().y());
    painter.rotate(-90);
    painter.drawText(
        QRectF(-plot.bars.height() / 2, -titleWidth / 2, plot.bars.height(), titleWidth),
        Qt::AlignCenter, valueTitle);
    painter.restore();
    return plot;
}

// Labels under the bars, one every so many where they would not all fit;
// under them the axis's title.
void labels(QPainter& painter, const Plot& plot, const QStringList& texts, const QString& title)
{
    const QFontMetricsF metrics(painter.font(), painter.device());
    const qreal height = metrics.height();
    const qreal y = plot.bars.bottom() + plot.gap;
    painter.drawText(QRectF(plot.bars.left(), y + height + plot.gap, plot.bars.width(), height),
                     Qt::AlignHCenter | Qt::AlignTop, title);
    if (texts.isEmpty())
        return;
    const qreal slot = plot.bars.width() / qreal(texts.size());
    const qreal space = metrics.averageCharWidth() * 1.5; // between two labels
    qreal widest = 0;
    for (const QString& text : texts)
        widest = std::max(widest, metrics.horizontalAdvance(text));
    if (widest > plot.bars.width())
        return;
    // Each label under the middle of its bar, from the first that keeps
    // within the bars (clear of the value axis's numbers).
    const int every = std::max(1, int(std::ceil((widest + space) / slot)));
    for (qsizetype i = 0; i < texts.size();) {
        const qreal width = metrics.horizontalAdvance(texts.at(i));
        const qreal left = plot.bars.left() + slot * (qreal(i) + 0.5) - width / 2;
        if (left < plot.bars.left()) {
            ++i;
            continue;
        }
        if (left + width > plot.bars.right() + 0.5)
            break;
        painter.drawText(QRectF(left, y, width, height), Qt::AlignHCenter | Qt::AlignTop,
                         texts.at(i));
        i += every;
    }
}

QString periodKind(ReportPeriod by)
{
    switch (by) {
    case ReportPeriod::Day:
        return chartText("Day");
    case ReportPeriod::Week:
        return chartText("Week");
    case ReportPeriod::Month:
        return chartText("Month");
    }
    return {};
}

} // namespace

QString ReportUserLabel(const ReportRow& row)
{
    return row.hasUser ? QStringLiteral("%1 (%2)").arg(row.name).arg(row.userNo)
                       : QCoreApplication::translate("ReportChart", "%1 (no user)").arg(row.userNo);
}

void PaintPeriodChart(QPainter& painter, const QRectF& area, const Report& report, int onlyUser)
{
    painter.save();
    // The users with the most events get their own patterns.
    QVector<int> order(report.userTotals.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return report.userTotals.at(a).counts.events > report.userTotals.at(b).counts.events;
    });
    if (onlyUser >= 0 && onlyUser < report.userTotals.size())
        order = {onlyUser};
    const int own = int(std::min<qsizetype>(order.size(), kOwnPatterns));
    auto seriesOf = [&](const ReportRow& row) {
        for (int i = 0; i < order.size(); ++i) {
            if (sameUser(report.userTotals.at(order.at(i)), row))
                return std::min(i, own);
        }
        return -1;
    };

    // Every period of the range, those without events left as gaps.
    std::map<QString, std::array<qint64, kOwnPatterns + 1>> periods;
    for (const QString& period : ReportPeriods(report))
        periods[period] = {};
    for (const ReportRow& row : report.rows) {
        const int series = seriesOf(row);
        auto& stack = periods[row.period];
        if (series >= 0)
            stack[size_t(series)] += row.counts.events;
    }
    qint64 largest = 0;
    QStringList texts;
    for (const auto& [period, stack] : periods) {
        largest = std::max(largest, std::accumulate(stack.begin(), stack.end(), qint64{0}));
        texts.append(period);
    }

    const QFontMetricsF metrics(painter.font(), painter.device());
    const bool others = order.size() > own;
    const int legendItems = own + (others ? 1 : 0);
    const int legendLines = (legendItems + 2) / 3;
    const qreal legendHeight = metrics.height() * 1.3 * legendLines;
    const QRectF chart = area.adjusted(0, 0, 0, -legendHeight);
    const Plot plot = axes(
        painter, chart, QCoreApplication::translate("ReportChart", "Events per period"), largest);
    const qreal slot = periods.empty() ? 0 : plot.bars.width() / qreal(periods.size());
    int i = 0;
    painter.setPen(QPen(Qt::black, 0));
    for (const auto& [period, stack] : periods) {
        qreal y = plot.bars.bottom();
        for (int series = 0; series <= kOwnPatterns; ++series) {
            if (stack[size_t(series)] == 0)
                continue;
            const qreal h = plot.bars.height() * qreal(stack[size_t(series)]) / qreal(plot.top);
            const QRectF bar(plot.bars.left() + slot * i + slot * 0.1, y - h,
                             std::max(slot * 0.8, 1.0), h);
            painter.fillRect(bar, Qt::white);
            painter.setBrush(patternOf(series));
            painter.drawRect(bar);
            y -= h;
        }
        ++i;
    }
    labels(painter, plot, texts, periodKind(report.by));

    // The legend, three to a line.
    const qreal itemWidth = area.width() / 3;
    const qreal pad = metrics.height() * 0.15;
    for (int item = 0; item < legendItems; ++item) {
        const int legendLine = item / 3;
        const QPointF at(area.left() + itemWidth * (item % 3),
                         chart.bottom() + metrics.height() * 1.3 * legendLine + pad);
        const QRectF box(at.x(), at.y() + pad, metrics.height() - 2 * pad,
                         metrics.height() - 2 * pad);
        painter.setBrush(Qt::white);
        painter.drawRect(box);
        painter.setBrush(patternOf(item));
        painter.drawRect(box);
        const QString label = item < own ? ReportUserLabel(report.userTotals.at(order.at(item)))
                                         : QCoreApplication::translate("ReportChart", "Others");
        const qreal labelWidth = itemWidth - box.width() - 4 * pad;
        painter.drawText(QRectF(box.right() + 2 * pad, at.y(), labelWidth, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(label, Qt::ElideRight, labelWidth));
    }
    painter.restore();
}

void PaintHourChart(QPainter& painter, const QRectF& area, const Report& report)
{
    painter.save();
    const qint64 largest = *std::max_element(report.byHour.begin(), report.byHour.end());
    const Plot plot =
        axes(painter, area, QCoreApplication::translate("ReportChart", "Events by hour of day"),
             largest);
    const qreal slot = plot.bars.width() / 24;
    QStringList texts;
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(patternOf(0));
    for (int hour = 0; hour < 24; ++hour) {
        texts.append(QString::number(hour));
        const qint64 count = report.byHour[size_t(hour)];
        if (count == 0)
            continue;
        const qreal h = plot.bars.height() * qreal(count) / qreal(plot.top);
        painter.drawRect(QRectF(plot.bars.left() + slot * hour + slot * 0.1, plot.bars.bottom() - h,
                                slot * 0.8, h));
    }
    labels(painter, plot, texts, chartText("Hour of day"));
    painter.restore();
}
