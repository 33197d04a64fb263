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
constexpr std::array<Column, 7> kColumns = {{{QT_TRANSLATE_NOOP("ReportPdf", "Period"), false},
                                             {QT_TRANSLATE_NOOP("ReportPdf", "No."), true},
                                             {QT_TRANSLATE_NOOP("ReportPdf", "User name"), false},
                                             {QT_TRANSLATE_NOOP("ReportPdf", "Events"), true},
                                             {QT_TRANSLATE_NOOP("ReportPdf", "Button 1"), true},
                                             {QT_TRANSLATE_NOOP("ReportPdf", "First"), false},
                                             {QT_TRANSLATE_NOOP("ReportPdf", "Last"), false}}};
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
        add(QCoreApplication::translate("ReportPdf", "Total"), QString::number(row.userNo),
            row.name, row.counts);
    add(QCoreApplication::translate("ReportPdf", "Total"), QString(),
        QCoreApplication::translate("ReportPdf", "All users"), report.total);
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

// The report's pages on one device: the charts on the first, the table on
// the others, each with the header and the page number.
class ReportPages
{
public:
    ReportPages(QPagedPaintDevice& device, const Report& report, const ReportTitle& title)
        : m_device(device), m_report(report), m_title(title),
          m_page(QPointF(0, 0),
                 device.pageLayout().paintRect(QPageLayout::Point).size() * kUnitsPerPoint),
          m_painter(&device), m_font(pageFont()), m_boldFont(boldOf(m_font)),
          m_metrics(m_font, &device), m_line(m_metrics.height() * 1.25),
          m_gap(m_metrics.averageCharWidth() / 2), m_lines(tableLines(report))
    {
        m_painter.scale(device.logicalDpiX() / kUnitsPerInch, device.logicalDpiY() / kUnitsPerInch);
        m_painter.setFont(m_font);
        sizeColumns();
    }

    // Paints every page; returns how many.
    int Paint()
    {
        breakPages();
        paintFrame(1);
        const qreal half = body() / 2;
        PaintPeriodChart(m_painter, QRectF(0, headerHeight(), m_page.width(), half - m_line),
                         m_report);
        PaintHourChart(m_painter, QRectF(0, headerHeight() + half, m_page.width(), half - m_line),
                       m_report);
        QStringList heads;
        for (const Column& column : kColumns)
            heads.append(QCoreApplication::translate("ReportPdf", column.head));
        for (size_t p = 0; p < m_firstOfPage.size(); ++p) {
            m_device.newPage();
            paintFrame(int(p) + 2);
            qreal top = paintRow(headerHeight(), heads, true);
            const qsizetype end =
                p + 1 < m_firstOfPage.size() ? m_firstOfPage[p + 1] : m_lines.size();
            for (qsizetype i = m_firstOfPage[p]; i < end; ++i)
                top = paintRow(top, m_lines.at(i), false);
        }
        return pageCount();
    }

private:
    static QFont pageFont()
    {
        QFont font(QStringLiteral("Sans Serif"));
        font.setPixelSize(qRound(9 * kUnitsPerPoint));
        font.setHintingPreference(QFont::PreferNoHinting);
        // No ligatures: the text read back or copied from the pages is the
        // text written, "fi" as two letters.
        font.setStyleStrategy(QFont::PreferNoShaping);
        return font;
    }
    static QFont boldOf(QFont font)
    {
        font.setBold(true);
        return font;
    }

    qreal headerHeight() const { return m_line * 4; }
    qreal body() const { return m_page.height() - headerHeight() - m_line * 1.5; }
    int pageCount() const { return 1 + int(m_firstOfPage.size()); }

    // The columns as wide as their texts; the name takes the rest.
    void sizeColumns()
    {
        m_widths = columnWidths(m_lines, m_metrics, QFontMetricsF(m_boldFont, &m_device));
        qreal fixed = 0;
        for (qreal& width : m_widths) {
            if (width > 0)
                width += 2 * m_gap;
            fixed += width;
        }
        m_widths[kNameColumn] = std::max(m_page.width() - fixed, m_metrics.averageCharWidth() * 12);
    }

    // The lines a name takes in its column, each name wrapped once.
    const QStringList& nameLines(const QString& name)
    {
        auto known = m_names.constFind(name);
        if (known != m_names.cend())
            return *known;
        const qreal room = m_widths[kNameColumn] - 2 * m_gap;
        return *m_names.insert(name, m_metrics.horizontalAdvance(name) <= room
                                         ? QStringList{name}
                                         : wrapped(name, m_font, &m_device, room));
    }

    // The first line of the table on each page after the first.
    void breakPages()
    {
        qreal y = body();
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            const qreal height = m_line * qreal(nameLines(m_lines.at(i).at(kNameColumn)).size());
            if (y + height > body() && (m_firstOfPage.empty() || m_firstOfPage.back() < i)) {
                m_firstOfPage.push_back(i);
                y = m_line; // the column heads
            }
            y += height;
        }
    }

    // The header (database, creation, range, filter) and the page number.
    void paintFrame(int number)
    {
        m_painter.setPen(Qt::black);
        m_painter.setFont(m_font);
        const qreal width = m_page.width();
        const qreal createdWidth = m_metrics.horizontalAdvance(m_title.created);
        const qreal nameWidth = width - createdWidth - m_metrics.averageCharWidth() * 4;
        m_painter.drawText(
            QRectF(0, 0, nameWidth, m_line), Qt::AlignLeft | Qt::AlignVCenter,
            m_metrics.elidedText(
                QCoreApplication::translate("ReportPdf", "Report of %1").arg(m_title.database),
                Qt::ElideMiddle, nameWidth));
        m_painter.drawText(QRectF(0, 0, width, m_line), Qt::AlignRight | Qt::AlignVCenter,
                           m_title.created);
        const QStringList head = {m_title.range, m_title.filter};
        for (int i = 0; i < head.size(); ++i)
            m_painter.drawText(QRectF(0, m_line * (i + 1), width, m_line),
                               Qt::AlignLeft | Qt::AlignVCenter,
                               m_metrics.elidedText(head.at(i), Qt::ElideMiddle, width));
        m_painter.drawLine(QPointF(0, m_line * 3.5), QPointF(width, m_line * 3.5));
        m_painter.drawText(
            QRectF(0, m_page.height() - m_line, width, m_line), Qt::AlignCenter,
            QCoreApplication::translate("ReportPdf", "Page %1 of %2").arg(number).arg(pageCount()));
    }

    // A row: each cell at the top of the row, the name on as many lines as
    // it takes. Returns where the next row starts.
    qreal paintRow(qreal top, const QStringList& cells, bool heads)
    {
        m_painter.setFont(heads ? m_boldFont : m_font);
        qsizetype height = 1;
        qreal x = 0;
        for (size_t c = 0; c < kColumns.size(); ++c) {
            const Qt::Alignment align =
                (kColumns[c].right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
            const QStringList texts = int(c) == kNameColumn && !heads
                                          ? nameLines(cells.at(qsizetype(c)))
                                          : QStringList{cells.at(qsizetype(c))};
            for (qsizetype i = 0; i < texts.size(); ++i)
                m_painter.drawText(
                    QRectF(x + m_gap, top + m_line * qreal(i), m_widths[c] - 2 * m_gap, m_line),
                    static_cast<int>(align), texts.at(i));
            height = std::max(height, texts.size());
            x += m_widths[c];
        }
        return top + m_line * qreal(height);
    }

    QPagedPaintDevice& m_device;
    const Report& m_report;
    const ReportTitle& m_title;
    const QRectF m_page;
    QPainter m_painter;
    const QFont m_font;
    const QFont m_boldFont;
    const QFontMetricsF m_metrics;
    const qreal m_line;
    const qreal m_gap; // each side of a cell's text
    const QVector<QStringList> m_lines;
    std::array<qreal, kColumns.size()> m_widths{};
    QHash<QString, QStringList> m_names;
    std::vector<qsizetype> m_firstOfPage;
};

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
    QString from = QCoreApplication::translate("ReportPdf", "from the first");
    if (!f.from.isEmpty())
        from = QCoreApplication::translate("ReportPdf", "from ") +
               (atMidnight(f.from) ? f.from.left(10) : f.from);
    QString to = QCoreApplication::translate("ReportPdf", "to the last");
    if (atMidnight(f.to))
        to = QCoreApplication::translate("ReportPdf", "to ") +
             QDate::fromString(f.to.left(10), Qt::ISODate).addDays(-1).toString(Qt::ISODate);
    else if (!f.to.isEmpty())
        to = QCoreApplication::translate("ReportPdf", "before ") + f.to;
    title.range = QCoreApplication::translate("ReportPdf", "Events %1 %2, by %3")
                      .arg(from, to, QLatin1String(periodName(options.by)));
    // The dates are those of the range; the rest of the filter named as the
    // list's bar names it.
    JoinFilter undated = f;
    undated.from.clear();
    undated.to.clear();
    title.filter = undated.IsEmpty()
                       ? QCoreApplication::translate("ReportPdf", "Every row of the list")
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
    ReportPages pages(device, report, title);
    return pages.Paint();
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
        writer.setTitle(QCoreApplication::translate("ReportPdf", "ZQreader report"));
        writer.setCreator(QStringLiteral("ZQreader"));
        const int painted = PaintReportPages(writer, report, title);
        if (pages)
            *pages = painted;
    }
    return bytes;
}
