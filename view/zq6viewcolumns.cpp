// The list's columns: the header above the rows, the widths the user gives
// them, and how a text sits in its cell.

#include "view/viewlayout.h"
#include "view/zq6view.h"

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
    return column == CZq6View::UserNoColumn || column == CZq6View::TimerColumn;
}

} // namespace

void CZq6View::MakeHeader()
{
    auto* labels = new QStandardItemModel(0, ColumnCount, this);
    labels->setHorizontalHeaderLabels(
        {tr("Date"), tr("Time"), tr("User number"), tr("User name"), tr("Timer")});
    for (int c = 0; c < ColumnCount; ++c) {
        const Qt::Alignment align = isNumberColumn(c) ? Qt::AlignRight : Qt::AlignLeft;
        labels->setHeaderData(c, Qt::Horizontal, QVariant::fromValue(align | Qt::AlignVCenter),
                              Qt::TextAlignmentRole);
    }
    m_pHeader = new QHeaderView(Qt::Horizontal, this);
    m_pHeader->setObjectName(QStringLiteral("listHeader"));
    m_pHeader->setModel(labels);
    m_pHeader->setSectionsClickable(false);
    m_pHeader->setSectionResizeMode(QHeaderView::Interactive);
    m_pHeader->setStretchLastSection(false);
    m_pHeader->setFocusPolicy(Qt::NoFocus);
    m_pHeader->setWhatsThis(tr("The column heads: drag the border between two heads to make "
                               "a column wider or narrower."));
    m_pHeader->setMinimumSectionSize(QFontMetrics(font()).averageCharWidth() * 3);

    m_restoringWidths = true;
    const QList<QVariant> kept = QSettings().value(kColumnWidthsKey).toList();
    for (int c = 0; c < ColumnCount; ++c) {
        // Where the list's columns always were, wide enough for their heads.
        const int fixed = std::max(c + 1 < ColumnCount ? kColumnX[c + 1] - kColumnX[c] : 70,
                                   m_pHeader->sectionSizeHint(c));
        const int keptWidth = c < kept.size() ? kept.at(c).toInt() : 0;
        m_pHeader->resizeSection(
            c, std::max(keptWidth > 0 ? std::min(keptWidth, 4000) : fixed, MinimumColumnWidth(c)));
    }
    m_restoringWidths = false;
    connect(m_pHeader, &QHeaderView::sectionResized, this, [this](int c, int, int width) {
        // Numbers are never cut: a number column keeps room for its widest.
        if (width < MinimumColumnWidth(c)) {
            m_pHeader->resizeSection(c, MinimumColumnWidth(c));
            return;
        }
        if (!m_restoringWidths)
            StoreColumnWidths();
        UpdateScrollSizes();
        viewport()->update();
    });
}

int CZq6View::MinimumColumnWidth(int c) const
{
    // A user number of three digits and a sign; a timer of seven digits.
    const char* widest = c == UserNoColumn ? "-000" : c == TimerColumn ? "0000000" : "";
    const QFontMetrics fm(font());
    return std::max(m_pHeader->minimumSectionSize(),
                    fm.horizontalAdvance(QLatin1String(widest)) + 2 * kCellPad + 1);
}

void CZq6View::StoreColumnWidths() const
{
    QList<QVariant> widths;
    for (int c = 0; c < ColumnCount; ++c)
        widths << m_pHeader->sectionSize(c);
    QSettings().setValue(kColumnWidthsKey, widths);
}

int CZq6View::ColumnLeft(int c) const
{
    return m_pHeader->sectionViewportPosition(c);
}

int CZq6View::ColumnWidth(int c) const
{
    return m_pHeader->sectionSize(c);
}

void CZq6View::UpdateMargins()
{
    const int top = m_pHeader->sizeHint().height();
    const int bottom = m_pFilterBar->isHidden() ? 0 : m_pFilterBar->sizeHint().height();
    setViewportMargins(0, top, 0, bottom);
    const QRect area = contentsRect();
    m_pHeader->setGeometry(area.left(), area.top(), viewport()->width(), top);
    if (bottom > 0)
        m_pFilterBar->setGeometry(area.left(), area.bottom() + 1 - bottom, area.width(), bottom);
}

void CZq6View::scrollContentsBy(int dx, int /*dy*/)
{
    if (dx != 0)
        m_pHeader->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

void CZq6View::DrawMarkFrame(QPainter& painter, const QRect& band)
{
    // The marked row taken out of the selection: where the keys go on from.
    painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
    painter.drawRect(band.adjusted(0, 0, -1, -1));
}

void CZq6View::DrawCell(QPainter& painter, int column, int y, const QString& text)
{
    const int left = ColumnLeft(column) + kCellPad;
    const int width = ColumnWidth(column) - 2 * kCellPad;
    if (width <= 0 || left >= viewport()->width() || left + width <= 0)
        return;
    const int right = left + width;
    if (isNumberColumn(column)) {
        // Right-aligned (the list's texts come without the padding of the lines).
        TextOut(painter, std::max(left, right - Fit().Width(text)), y, text, right);
    } else if (column == NameColumn) {
        // A name too long for its column ends in "…"; its tooltip shows it whole.
        TextOut(painter, left, y, Fit().Elided(text, width), right);
    } else {
        TextOut(painter, left, y, text, right);
    }
}
