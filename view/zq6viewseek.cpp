// The list's part in Go to Date and Find: where a row is, and the row marked.

#include "db/backend/dbexception.h"
#include "db/record/dbstate.h"
#include "view/zq6view.h"

#include <QScrollBar>
#include <algorithm>

std::optional<JoinMark> CZq6View::TopRow()
{
    if (m_nRows == 0 || !SetReadable())
        return std::nullopt;
    const qint64 topLine = verticalScrollBar()->value() / LineHeight();
    if (!m_bExact) {
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

void CZq6View::ShowRow(JoinMark row)
{
    m_mark = row;
    m_markSerial = 0;
    if (!SetReadable() || m_nRows == 0)
        return;
    qint64 line = 0;
    if (m_bExact) {
        line = g_pSet->RowOfEvent(row.eventIndex) + row.skip;
        m_markLine = line;
        m_markSerial = g_pSet->GetCountSerial();
    } else {
        line = std::max<qint64>(0, row.eventIndex - m_span.first);
    }
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(static_cast<int>(std::min<qint64>(line * LineHeight(), bar->maximum())));
    viewport()->update();
}

qint64 CZq6View::MarkedLine(const QVector<ListRow>& rows, qint64 firstLine)
{
    if (!m_mark || rows.isEmpty())
        return -1;
    if (m_bExact) {
        if (m_markSerial != g_pSet->GetCountSerial() || m_markSerial == 0) {
            // Counted anew since: the row's number is looked up again.
            try {
                m_markLine = g_pSet->RowOfEvent(m_mark->eventIndex) + m_mark->skip;
                m_markSerial = g_pSet->GetCountSerial();
            } catch (const CDBException&) {
                return -1; // the paint reports what failed
            }
        }
        // Not when another program removed the event meanwhile.
        const qint64 at = m_markLine - firstLine;
        if (at >= 0 && at < rows.size() && rows.at(at).eventIndex != m_mark->eventIndex)
            return -1;
        return m_markLine;
    }
    // Rows read by event INDEX begin with the first row of an event.
    int skip = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        skip = i > 0 && rows.at(i).eventIndex == rows.at(i - 1).eventIndex ? skip + 1 : 0;
        if (rows.at(i).eventIndex == m_mark->eventIndex && skip == m_mark->skip)
            return firstLine + i;
    }
    return -1;
}
