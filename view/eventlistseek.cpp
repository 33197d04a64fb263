// The list's part in Go to Date and Find: where a row is, and the row marked.

#include "db/backend/dbexception.h"
#include "db/record/dbstate.h"
#include "view/eventlistview.h"
#include "view/viewlayout.h"

#include <QScrollBar>
#include <algorithm>

std::optional<JoinMark> EventListView::TopRow()
{
    if (m_rowCount == 0 || !IsSetReadable())
        return std::nullopt;
    const qint64 topLine = verticalScrollBar()->value() / LineHeight();
    if (!m_exact) {
        // The top line stands for an event INDEX: its first row is shown there.
        const QVector<ListRow> rows = RowsFromTop(topLine, 1);
        if (rows.isEmpty())
            return std::nullopt;
        return JoinMark{rows.first().eventIndex, 0};
    }
    const QVector<ListRow> rows = g_pSet->FetchRows<ListRow>(topLine, 1);
    if (rows.isEmpty())
        return std::nullopt;
    const qint64 event = rows.first().eventIndex;
    return JoinMark{event, int(topLine - g_pSet->RowOfEvent(event))};
}

void EventListView::ShowRow(JoinMark row)
{
    // Found: marked, and the selection is just this row.
    m_mark = row;
    m_anchor = row;
    m_selection.Select(row);
    ScrollToRow(row);
}

void EventListView::ScrollToRow(JoinMark row)
{
    if (!IsSetReadable() || m_rowCount == 0)
        return;
    const qint64 line = m_exact ? g_pSet->RowOfEvent(row.eventIndex) + row.skip
                                : std::max<qint64>(0, row.eventIndex - m_span.first);
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(static_cast<int>(std::min<qint64>(line * LineHeight(), bar->maximum())));
    viewport()->update();
}

std::optional<JoinMark> EventListView::MarkedRowInView()
{
    if (!m_mark || m_rowCount == 0 || !IsSetReadable())
        return std::nullopt;
    // The rows on the screen now, whole or in part.
    const int lh = LineHeight();
    const qint64 top = verticalScrollBar()->value();
    const RowBand screen = VisibleRows(top, viewport()->height(), lh, m_rowCount);
    if (screen.count == 0)
        return std::nullopt;
    const QVector<ListRow> rows = m_exact
                                      ? g_pSet->FetchRows<ListRow>(screen.first, int(screen.count))
                                      : RowsFromTop(top / lh, screen.count);
    const QVector<JoinMark> marks = MarksOf(rows, screen.first);
    if (std::find(marks.cbegin(), marks.cend(), *m_mark) == marks.cend())
        return std::nullopt;
    return m_mark;
}
