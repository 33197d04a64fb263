#include "formats/reportpdf.h"

#include "formats/reportchart.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDate>
#include <QHash>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <vector>

namespace {

// The pages are painted in tenths of a point, whatever the device's
// resolution, and their fonts measured in the same units: a printer and a
// PDF lay out the same pages.
constexpr qreal kUnitsPerInch = 720;
constexpr qreal kUnitsPerPoint = 10;

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

bool atMidnight(const QString& when)
{
    return when.size() == 19 && when.endsWith(QLatin1String(" 00:00:00"));
}

struct Column
{
    const char* head;
    bool right; // numbers are aligned right
};
constexpr std::array<Column, 7> kColumns = {{{"Period", false},
                                             {"No.", true},
                                             {"User name", false},
                                             {"Events", true},
                                             {"Button 1", true},
                                             {"First", false},
                                             {"Last", false}}};
constexpr int kNameColumn = 2;

// The table's lines: the period rows, then the totals.
QVector<QStringList> tableLines(const Report& report)
{
    QVector<QStringList> lines;
    lines.reserve(report.rows.size() + report.userTotals.size() + 1);
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

// The width each column needs for its head and its longest texts; numbers,
// periods and dates are as wide as their number of characters makes them,
// so only the longest few are measured.
std::array<qreal, kColumns.size()> columnWidths(const QVector<QStringList>& lines,
                                                const QFontMetricsF& metrics,
                                                const QFontMetricsF& bold)
{
    std::array<qreal, kColumns.size()> widths{};
    for (size_t c = 0; c < kColumns.size(); ++c) {
        if (int(c) == kNameColumn)
            continue;
        qsizetype longest = 0;
        for (const QStringList& line : lines)
            longest = std::max(longest, line.at(qsizetype(c)).size());
        widths[c] = bold.horizontalAdvance(QLatin1String(kColumns[c].head));
        for (const QStringList& line : lines) {
            const QString& text = line.at(qsizetype(c));
            if (text.size() + 1 >= longest)
                widths[c] = std::max(widths[c], metrics.horizontalAdvance(text));
        }
    }
    return widths;
}

// The lines a text takes in width: broken between words, and within a word
// longer than the width.
QStringList wrapped(const QString& text, const QFont& font, QPaintDevice* device, qreal width)
{
    QTextLayout layout(text, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    if (lines.isEmpty())
        lines.append(QString());
    return lines;
}

} // namespace

ReportTitle ReportTitleFor(const Location& db, const ReportOptions& options, const QDateTime& made)
{
    ReportTitle title;
    title.database = db.Shown();
    title.created = QCoreApplication::translate("ReportPdf", "Created %1")
                        .arg(made.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    const JoinFilter& f = options.filter;
    // The days as they were chosen: a bound at midnight is a day, the upper
    // one the last day counted.
    QString from = QStringLiteral("from the first");
    if (!f.from.isEmpty())
        from = QStringLiteral("from ") + (atMidnight(f.from) ? f.from.left(10) : f.from);
    QString to = QStringLiteral("to the last");
    if (atMidnight(f.to))
        to = QStringLiteral("to ") +
             QDate::fromString(f.to.left(10), Qt::ISODate).addDays(-1).toString(Qt::ISODate);
    else if (!f.to.isEmpty())
        to = QStringLiteral("before ") + f.to;
    title.range =
        QStringLiteral("Events %1 %2, by %3").arg(from, to, QLatin1String(periodName(options.by)));
    // The dates are those of the range; the rest of the filter named as the
    // list's bar names it.
    JoinFilter undated = f;
    undated.from.clear();
    undated.to.clear();
    title.filter = undated.IsEmpty() ? QStringLiteral("Every row of the list")
                                     : QStringLiteral("Filter: ") + undated.Described();
    return title;
}

QPageLayout ReportPageLayout(const QPageSize& size)
{
    return QPageLayout(size.isValid() ? size : QPageSize(QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
}

int PaintReportPages(QPagedPaintDevice& device, const Report& report, const ReportTitle& title)
{
    device.setPageLayout(ReportPageLayout(device.pageLayout().pageSize()));
    const QRectF page(QPointF(0, 0),
                      device.pageLayout().paintRect(QPageLayout::Point).size() * kUnitsPerPoint);
    QPainter painter(&device);
    painter.scale(device.logicalDpiX() / kUnitsPerInch, device.logicalDpiY() / kUnitsPerInch);
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(qRound(9 * kUnitsPerPoint));
    font.setHintingPreference(QFont::PreferNoHinting);
    // No ligatures: the text read back or copied from the pages is the text
    // written, "fi" as two letters.
    font.setStyleStrategy(QFont::PreferNoShaping);
    QFont boldFont = font;
    boldFont.setBold(true);
    painter.setFont(font);
    const QFontMetricsF metrics(font, &device);
    const QFontMetricsF bold(boldFont, &device);
    const qreal line = metrics.height() * 1.25;
    const qreal gap = metrics.averageCharWidth() / 2; // each side of a cell's text

    // The columns as wide as their texts; the name takes the rest.
    const QVector<QStringList> lines = tableLines(report);
    std::array<qreal, kColumns.size()> widths = columnWidths(lines, metrics, bold);
    qreal fixed = 0;
    for (qreal& width : widths) {
        if (width > 0)
            width += 2 * gap;
        fixed += width;
    }
    widths[kNameColumn] = std::max(page.width() - fixed, metrics.averageCharWidth() * 12);

    // The name of each line as it wraps, and the pages the lines go on.
    QHash<QString, QStringList> names;
    auto nameLines = [&](const QString& name) -> const QStringList& {
        auto known = names.constFind(name);
        if (known != names.cend())
            return *known;
        const qreal room = widths[kNameColumn] - 2 * gap;
        return *names.insert(name, metrics.horizontalAdvance(name) <= room
                                       ? QStringList{name}
                                       : wrapped(name, font, &device, room));
    };
    const qreal headerHeight = line * 4;
    const qreal footerHeight = line * 1.5;
    const qreal body = page.height() - headerHeight - footerHeight;
    std::vector<qsizetype> firstOfPage; // the first line of each page of the table
    qreal y = body;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qreal height = line * qreal(nameLines(lines.at(i).at(kNameColumn)).size());
        if (y + height > body && (firstOfPage.empty() || firstOfPage.back() < i)) {
            firstOfPage.push_back(i);
            y = line; // the column heads
        }
        y += height;
    }
    const int pages = 1 + int(firstOfPage.size());

    auto frame = [&](int number) {
        painter.setPen(Qt::black);
        painter.setFont(font);
        const qreal createdWidth = metrics.horizontalAdvance(title.created);
        const qreal nameWidth = page.width() - createdWidth - metrics.averageCharWidth() * 4;
        painter.drawText(QRectF(0, 0, nameWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(QStringLiteral("Report of ") + title.database,
                                            Qt::ElideMiddle, nameWidth));
        painter.drawText(QRectF(0, 0, page.width(), line), Qt::AlignRight | Qt::AlignVCenter,
                         title.created);
        const QStringList head = {title.range, title.filter};
        for (int i = 0; i < head.size(); ++i)
            painter.drawText(QRectF(0, line * (i + 1), page.width(), line),
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

    // A row: each cell at the top of the row, the name on as many lines as
    // it takes. Returns where the next row starts.
    auto row = [&](qreal top, const QStringList& cells, bool heads) {
        painter.setFont(heads ? boldFont : font);
        qsizetype height = 1;
        qreal x = 0;
        for (size_t c = 0; c < kColumns.size(); ++c) {
            const Qt::Alignment align =
                (kColumns[c].right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
            const QStringList texts = int(c) == kNameColumn && !heads
                                          ? nameLines(cells.at(qsizetype(c)))
                                          : QStringList{cells.at(qsizetype(c))};
            for (qsizetype i = 0; i < texts.size(); ++i)
                painter.drawText(QRectF(x + gap, top + line * qreal(i), widths[c] - 2 * gap, line),
                                 static_cast<int>(align), texts.at(i));
            height = std::max(height, texts.size());
            x += widths[c];
        }
        return top + line * qreal(height);
    };
    QStringList heads;
    for (const Column& column : kColumns)
        heads.append(QLatin1String(column.head));
    for (size_t p = 0; p < firstOfPage.size(); ++p) {
        device.newPage();
        frame(int(p) + 2);
        qreal top = row(headerHeight, heads, true);
        const qsizetype end = p + 1 < firstOfPage.size() ? firstOfPage[p + 1] : lines.size();
        for (qsizetype i = firstOfPage[p]; i < end; ++i)
            top = row(top, lines.at(i), false);
    }
    return pages;
}

QByteArray ReportPdf(const Report& report, const ReportTitle& title, const QPageSize& size,
                     int* pages)
{
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageLayout(ReportPageLayout(size));
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("ZQreader report"));
        writer.setCreator(QStringLiteral("ZQreader"));
        const int painted = PaintReportPages(writer, report, title);
        if (pages)
            *pages = painted;
    }
    return bytes;
}
