// The list's painting: the rows in view read through the set's windowed
// access, the marked and selected rows, the texts cut to their columns.

#include "db/backend/dbexception.h"
#include "db/record/dbstate.h"
#include "view/eventlistview.h"
#include "view/viewlayout.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

QVector<ListRow> EventListView::RowsFromTop(qint64 topLine, qint64 lines)
{
    // The rows from the first event at or after the INDEX of the top line,
    // or the last rows when those do not reach the bottom. At the end of the
    // scroll range the last rows, also when the events there have several
    // rows each and those from the top line's would fill the screen.
    const qint64 wanted = std::min<qint64>(lines, m_rowCount - topLine);
    const QScrollBar* bar = verticalScrollBar();
    const bool end = topLine > 0 && bar->value() >= bar->maximum();
    QVector<ListRow> rows;
    if (!end)
        rows = g_pSet->FetchFromEvent<ListRow>(m_span.first + topLine, int(wanted));
    m_topAtEnd = end || (rows.size() < wanted && topLine > 0);
    if (m_topAtEnd)
        rows = g_pSet->FetchLast<ListRow>(int(wanted));
    return rows;
}

void EventListView::paintEvent(QPaintEvent* event)
{
    if (!m_document || !m_document->m_bDbOpen) {
        DrawStartHint();
        return;
    }
    const QRect area = event->rect();
    if (m_serverAway) {
        DrawKeptRows(area);
        return;
    }
    if (m_failed || m_rowCount == 0 || !IsSetReadable())
        return;
    const int lh = Fit().LineHeight();
    const qint64 top = verticalScrollBar()->value();

    if (!m_exact) {
        const qint64 topLine = top / lh;
        const RowBand screen = VisibleRows(top, viewport()->height(), lh, m_rowCount);
        QVector<ListRow> rows;
        try {
            if (g_pSet->GetCountSerial() != m_countSerial) { // counted meanwhile
                FollowSet();
                return;
            }
            rows = RowsFromTop(topLine, screen.count);
        } catch (const CDBException& e) {
            Fail(e.m_strError);
            if (m_serverAway)
                DrawKeptRows(area);
            return;
        }
        if (!rows.isEmpty()) {
            m_topKnown = true;
            m_top = {rows.first().eventIndex, 0};
            m_topLine = topLine;
        }
        QPainter painter(viewport());
        DrawRows(painter, rows, topLine, top, area);
        return;
    }

    const RowBand band = VisibleRows(top + area.top(), area.height(), lh, m_rowCount);
    if (band.count == 0)
        return;
    QVector<ListRow> rows;
    try {
        rows = g_pSet->FetchRows<ListRow>(band.first, static_cast<int>(band.count));
    } catch (const CDBException& e) {
        Fail(e.m_strError);
        if (m_serverAway)
            DrawKeptRows(area);
        return;
    }
    if (g_pSet->GetCountSerial() != m_countSerial) {
        // Another program changed the database and the set counted again (or
        // began to, on the counting thread): the rows fetched are right, the
        // scroll range follows, and the whole view is drawn again.
        try {
            FollowSet();
        } catch (const CDBException& e) {
            Fail(e.m_strError);
            if (m_serverAway)
                DrawKeptRows(area);
            return;
        }
        if (!m_exact)
            return;
    }
    if (!rows.isEmpty() && band.first == top / lh) {
        m_topKnown = true;
        m_top = {rows.first().eventIndex, 0};
        m_topLine = band.first;
    }
    QPainter painter(viewport());
    DrawRows(painter, rows, band.first, top, area);
}

void EventListView::DrawStartHint()
{
    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const int lh = Fit().LineHeight();
    DrawClippedText(painter, lh / 2, lh / 2, StartHint(), 0);
}

const TextFit& EventListView::Fit()
{
    if (!m_fit || m_fit->Font() != font())
        m_fit.emplace(font());
    return *m_fit;
}

QVector<JoinMark> EventListView::MarksOf(const QVector<ListRow>& rows, qint64 firstLine) const
{
    QVector<JoinMark> marks;
    marks.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        // The set knows the place of the rows it read last; rows read by
        // event INDEX begin with the first row of an event.
        if (m_exact) {
            if (const std::optional<JoinMark> known = g_pSet->KnownMark(firstLine + i);
                known && known->eventIndex == rows.at(i).eventIndex) {
                marks.append(*known);
                continue;
            }
        }
        const bool same = i > 0 && rows.at(i).eventIndex == rows.at(i - 1).eventIndex;
        marks.append({rows.at(i).eventIndex, same ? marks.last().skip + 1 : 0});
    }
    return marks;
}

void EventListView::DrawRows(QPainter& painter, const QVector<ListRow>& rows, qint64 firstLine,
                             qint64 top, const QRect& area)
{
    const QVector<JoinMark> marks = MarksOf(rows, firstLine);
    QVector<DrawnRow> drawn;
    drawn.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i)
        drawn.append({marks.at(i), rows.at(i)});
    DrawMarkedRows(painter, drawn, firstLine, top, area);
    m_drawn = std::move(drawn);
    m_drawnFirstLine = firstLine;
}

void EventListView::DrawKeptRows(const QRect& area)
{
    QPainter painter(viewport());
    DrawMarkedRows(painter, m_drawn, m_drawnFirstLine, verticalScrollBar()->value(), area);
}

void EventListView::DrawMarkedRows(QPainter& painter, const QVector<DrawnRow>& drawn,
                                   qint64 firstLine, qint64 top, const QRect& area)
{
    const int lh = Fit().LineHeight();
    painter.setFont(font());
    const QColor text = palette().color(QPalette::Text);
    const QColor selectedText = palette().color(QPalette::HighlightedText);
    for (qsizetype i = 0; i < drawn.size(); ++i) {
        const JoinMark& mark = drawn.at(i).mark;
        const int y = static_cast<int>((firstLine + i) * lh - top);
        if (y + lh <= area.top() || y >= area.bottom() + 1)
            continue;
        const bool selected = m_selection.Contains(mark);
        const QRect band(0, y, viewport()->width(), lh);
        if (selected)
            painter.fillRect(band, palette().highlight());
        else if (m_mark && *m_mark == mark)
            DrawMarkFrame(painter, band);
        painter.setPen(selected ? selectedText : text);
        const RowTexts t = m_texts.Make(drawn.at(i).row);
        const QString* texts[] = {&t.date, &t.time, &t.userNo, &t.name, &t.timer};
        for (int c = 0; c < ColumnCount; ++c)
            DrawCell(painter, c, y, *texts[c]);
    }
}

void EventListView::DrawClippedText(QPainter& painter, int x, int y, const QString& text,
                                    int clipRight)
{
    if (text.isEmpty())
        return;
    const TextFit& fit = m_fit ? *m_fit : Fit(); // made for this paint's font
    const QPoint at(x, y + fit.Ascent());
    if (clipRight > x && !fit.Fits(text, clipRight - x)) {
        painter.save();
        painter.setClipRect(QRect(x, y, clipRight - x, fit.LineHeight()), Qt::IntersectClip);
        fit.Draw(painter, at, text);
        painter.restore();
    } else {
        fit.Draw(painter, at, text);
    }
}
