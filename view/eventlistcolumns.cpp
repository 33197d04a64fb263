// The list's columns: the header above the rows, the widths the user gives
// them, and how a text sits in its cell.

#include "view/eventlistview.h"
#include "view/viewlayout.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QSettings>
#include <QStandardItemModel>
#include <algorithm>

namespace {

// Between a column's edge and its text.
constexpr int kCellPad = 3;
// The column widths the user chose, kept for the next start.
const QString kColumnWidthsKey = QStringLiteral("List/ColumnWidths");

bool isNumberColumn(int column)
{
    return column == EventListView::UserNoColumn || column == EventListView::TimerColumn;
}

} // namespace

void EventListView::MakeHeader()
{
    auto* labels = new QStandardItemModel(0, ColumnCount, this);
    labels->setHorizontalHeaderLabels(
        {tr("Date"), tr("Time"), tr("User number"), tr("User name"), tr("Timer")});
    for (int c = 0; c < ColumnCount; ++c) {
        const Qt::Alignment align = isNumberColumn(c) ? Qt::AlignRight : Qt::AlignLeft;
        labels->setHeaderData(c, Qt::Horizontal, QVariant::fromValue(align | Qt::AlignVCenter),
                              Qt::TextAlignmentRole);
    }
    m_header = new QHeaderView(Qt::Horizontal, this);
    m_header->setObjectName(QStringLiteral("listHeader"));
    m_header->setModel(labels);
    m_header->setSectionsClickable(false);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setStretchLastSection(false);
    m_header->setFocusPolicy(Qt::NoFocus);
    m_header->setWhatsThis(tr("The column heads: drag the border between two heads to make "
                              "a column wider or narrower."));
    m_header->setMinimumSectionSize(QFontMetrics(font()).averageCharWidth() * 3);

    m_restoringWidths = true;
    const QList<QVariant> kept = QSettings().value(kColumnWidthsKey).toList();
    for (int c = 0; c < ColumnCount; ++c) {
        // Where the list's columns always were, wide enough for their heads.
        const int fixed = std::max(c + 1 < ColumnCount ? kColumnX[c + 1] - kColumnX[c] : 70,
                                   m_header->sectionSizeHint(c));
        const int keptWidth = c < kept.size() ? kept.at(c).toInt() : 0;
        m_header->resizeSection(
            c, std::max(keptWidth > 0 ? std::min(keptWidth, 4000) : fixed, MinimumColumnWidth(c)));
    }
    m_restoringWidths = false;
    connect(m_header, &QHeaderView::sectionResized, this, [this](int c, int, int width) {
        // Numbers are never cut: a number column keeps room for its widest.
        if (width < MinimumColumnWidth(c)) {
            m_header->resizeSection(c, MinimumColumnWidth(c));
            return;
        }
        if (!m_restoringWidths)
            StoreColumnWidths();
        UpdateScrollSizes();
        viewport()->update();
    });
}

int EventListView::MinimumColumnWidth(int c) const
{
    // A user number of three digits and a sign; a timer of seven digits.
    const char* widest = c == UserNoColumn ? "-000" : c == TimerColumn ? "0000000" : "";
    const QFontMetrics fm(font());
    return std::max(m_header->minimumSectionSize(),
                    fm.horizontalAdvance(QLatin1String(widest)) + 2 * kCellPad + 1);
}

void EventListView::StoreColumnWidths() const
{
    QList<QVariant> widths;
    for (int c = 0; c < ColumnCount; ++c)
        widths << m_header->sectionSize(c);
    QSettings().setValue(kColumnWidthsKey, widths);
}

int EventListView::ColumnLeft(int c) const
{
    return m_header->sectionViewportPosition(c);
}

int EventListView::ColumnWidth(int c) const
{
    return m_header->sectionSize(c);
}

void EventListView::UpdateMargins()
{
    const int top = m_header->sizeHint().height();
    const int bottom = m_filterBar->isHidden() ? 0 : m_filterBar->sizeHint().height();
    setViewportMargins(0, top, 0, bottom);
    const QRect area = contentsRect();
    m_header->setGeometry(area.left(), area.top(), viewport()->width(), top);
    if (bottom > 0)
        m_filterBar->setGeometry(area.left(), area.bottom() + 1 - bottom, area.width(), bottom);
}

void EventListView::scrollContentsBy(int dx, int /*dy*/)
{
    if (dx != 0)
        m_header->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

void EventListView::DrawMarkFrame(QPainter& painter, const QRect& band)
{
    // The marked row taken out of the selection: where the keys go on from.
    painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
    painter.drawRect(band.adjusted(0, 0, -1, -1));
}

void EventListView::DrawCell(QPainter& painter, int column, int y, const QString& text)
{
    const int left = ColumnLeft(column) + kCellPad;
    const int width = ColumnWidth(column) - 2 * kCellPad;
    if (width <= 0 || left >= viewport()->width() || left + width <= 0)
        return;
    const int right = left + width;
    if (isNumberColumn(column)) {
        // Right-aligned (the list's texts come without the padding of the lines).
        DrawClippedText(painter, std::max(left, right - Fit().Width(text)), y, text, right);
    } else if (column == NameColumn) {
        // A name too long for its column ends in "…"; its tooltip shows it whole.
        DrawClippedText(painter, left, y, Fit().Elided(text, width), right);
    } else {
        DrawClippedText(painter, left, y, text, right);
    }
}
