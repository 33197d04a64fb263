#include "view/zq6view.h"

#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/zq6set.h"
#include "view/viewlayout.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QSettings>
#include <QStandardItemModel>
#include <QTimer>
#include <algorithm>

CZq6View::CZq6View(CZq6Doc* pDoc, QWidget* parent)
    : QAbstractScrollArea(parent), m_pDocument(pDoc), m_pFilterBar(new QLabel(this))
{
    m_pFilterBar->setObjectName(QStringLiteral("filterBar"));
    m_pFilterBar->setContentsMargins(4, 2, 4, 2);
    m_pFilterBar->setAutoFillBackground(true);
    m_pFilterBar->setBackgroundRole(QPalette::ToolTipBase);
    m_pFilterBar->setForegroundRole(QPalette::ToolTipText);
    m_pFilterBar->setWhatsThis(tr("The list shows only the events that pass the filter of View "
                                  "> Filter; View > Clear Filter shows all of them again."));
    m_pFilterBar->hide();
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::WheelFocus);
    setWhatsThis(tr("The events of the open database, oldest first: date, time, user number, "
                    "user name and timer value of each event. Click a row to select it, "
                    "with Shift or Ctrl to select more; Ctrl+C copies the selected rows."));
    MakeHeader();
    if (m_pDocument)
        m_pDocument->AddView(this);
    UpdateMargins();
    UpdateScrollSizes();
}

CZq6View::~CZq6View()
{
    if (g_pSet)
        g_pSet->SetCountDone({});
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

int CZq6View::LineHeight() const
{
    const QFontMetrics fm(font());
    return fm.height() + std::max(0, fm.leading());
}

qint64 CZq6View::GetContentHeight() const
{
    return ContentHeight(m_nRows, LineHeight());
}

bool CZq6View::SetReadable() const
{
    return m_pDocument && m_pDocument->m_bDbOpen && g_pSet && g_pSet->IsOpen();
}

void CZq6View::OnInitialUpdate()
{
    m_bFailed = false;
    m_bServerAway = false;
    m_bTopKnown = false;
    m_mark.reset();
    m_anchor.reset();
    m_selection.Clear();
    m_drawn.clear();
    // Another database, or the same one anew: shown from its first row.
    m_nRows = 0;
    m_bExact = true;
    UpdateScrollSizes();
    verticalScrollBar()->setValue(0);
    m_texts = ListTexts(false); // the zone's rules may have changed since
    try {
        if (m_pDocument && m_pDocument->m_bDbOpen && g_pSet) {
            if (g_pSet->IsOpen())
                g_pSet->Close();
            g_pSet->m_strSort = QStringLiteral("EVENTS.INDEX");
            // The list reads its rows by number, never by the cursor.
            g_pSet->Open(CRecordset::unread);
            // Told on the counting thread; taken up on this one.
            g_pSet->SetCountDone([this] {
                QMetaObject::invokeMethod(
                    this, [this] { OnCountDone(); }, Qt::QueuedConnection);
            });
        }
    } catch (const CDBException& e) {
        m_nRows = 0;
        m_bExact = true;
        UpdateScrollSizes();
        Fail(e.m_strError);
        return;
    }
    Recount(Count::All);
}

void CZq6View::OnUpdate()
{
    Recount(Count::Changed);
}

void CZq6View::ApplyFilter(const EventFilter& filter)
{
    if (!SetReadable())
        return;
    g_pSet->SetFilter(filter);
    m_bTopKnown = false;
    verticalScrollBar()->setValue(0);
    Recount(Count::All);
}

QString CZq6View::FilterBarText() const
{
    return m_pFilterBar->isHidden() ? QString() : m_pFilterBar->text();
}

void CZq6View::UpdateFilterBar()
{
    const bool filtered = SetReadable() && g_pSet->IsFiltered();
    if (filtered) {
        const QLocale locale;
        m_pFilterBar->setText(g_pSet->IsCounted()
                                  ? tr("Filtered: %1 of %2 events")
                                        .arg(locale.toString(g_pSet->GetRowCount()),
                                             locale.toString(g_pSet->GetEventCount()))
                                  : tr("Filtered: counting..."));
        m_pFilterBar->setToolTip(g_pSet->GetFilter().Described());
    }
    m_pFilterBar->setVisible(filtered);
    UpdateMargins();
    Q_EMIT CountChanged();
}

QString CZq6View::CountText() const
{
    if (!SetReadable())
        return {};
    if (!g_pSet->IsCounted())
        return tr("Counting events...");
    const QLocale locale;
    const qint64 events = g_pSet->GetEventCount();
    QString all = events == 1 ? tr("1 event") : tr("%1 events").arg(locale.toString(events));
    if (!g_pSet->IsFiltered())
        return all;
    return tr("%1 of %2 shown; filter: %3")
        .arg(locale.toString(g_pSet->GetRowCount()), all, g_pSet->GetFilter().Described());
}

void CZq6View::Recount(Count how)
{
    if (m_bServerAway)
        return; // counted again once it is back
    if (SetReadable()) {
        try {
            if (how == Count::All)
                g_pSet->StartCount();
            else
                g_pSet->UpdateCount();
            FollowSet();
            m_bFailed = false;
            return;
        } catch (const CDBException& e) {
            if (LostServer())
                return;
            Fail(e.m_strError);
        }
    }
    m_nRows = 0;
    m_bExact = true;
    UpdateScrollSizes();
    UpdateFilterBar();
    viewport()->update();
}

void CZq6View::SetServerAway(bool away)
{
    if (away == m_bServerAway)
        return;
    m_bServerAway = away;
    if (away) {
        viewport()->update();
        return;
    }
    m_bFailed = false;
    Recount(Count::All);
}

bool CZq6View::LostServer()
{
    if (m_bServerAway)
        return true;
    if (!m_pDocument || !m_pDocument->m_bDbOpen || g_db.ConnectionLoss().isEmpty())
        return false;
    m_bServerAway = true;
    viewport()->update();
    // Told after the current paint or update has finished, never from inside it.
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT ConnectionLost(); }, Qt::QueuedConnection);
    return true;
}

void CZq6View::OnCountDone()
{
    if (m_bServerAway || !SetReadable() || !g_pSet->IsCounting())
        return;
    try {
        g_pSet->AdoptCount();
        FollowSet();
    } catch (const CDBException& e) {
        Fail(e.m_strError);
    }
}

void CZq6View::FollowSet()
{
    const int lh = LineHeight();
    QScrollBar* bar = verticalScrollBar();
    const qint64 within = bar->value() % lh;
    const bool exact = g_pSet->IsCounted();
    // Whoever looked at the last rows goes on seeing the last rows.
    const bool atEnd = m_nRows > 0 && bar->value() >= bar->maximum();
    const bool recounted = g_pSet->GetCountSerial() != m_countSerial;
    qint64 topLine = -1; // -1: the position stays
    if (exact) {
        m_nRows = g_pSet->GetRowCount();
        // The row at the top stays there, also when rows before it came or went.
        const bool topInPlace = m_bTopKnown && m_topLine == bar->value() / lh;
        if ((!m_bExact && m_bTopKnown) || (recounted && topInPlace))
            topLine = m_bTopAtEnd ? m_nRows : g_pSet->RowOfEvent(m_top.eventIndex) + m_top.skip;
    } else {
        m_span = g_pSet->CurrentEventSpan();
        m_nRows = m_span.IsEmpty() ? 0 : m_span.last - m_span.first + 1;
        if (m_bExact && m_bTopKnown)
            topLine = std::max<qint64>(0, m_top.eventIndex - m_span.first);
    }
    m_bExact = exact;
    m_bTopAtEnd = false;
    m_countSerial = g_pSet->GetCountSerial();
    UpdateScrollSizes();
    UpdateFilterBar();
    if (atEnd)
        bar->setValue(bar->maximum());
    else if (topLine >= 0)
        bar->setValue(
            static_cast<int>(std::min<qint64>(topLine * lh + within, std::max(bar->maximum(), 0))));
    viewport()->update();
}

void CZq6View::UpdateScrollSizes()
{
    const int lh = LineHeight();
    const qint64 page = viewport()->height();
    const qint64 range = std::max<qint64>(0, GetContentHeight() - page);
    QScrollBar* bar = verticalScrollBar();
    // The position stays where it is, held inside the new content.
    bar->setRange(0, static_cast<int>(std::min<qint64>(range, INT_MAX)));
    bar->setPageStep(static_cast<int>(page));
    bar->setSingleStep(lh);
    // Sideways when the window is narrower than the columns.
    QScrollBar* across = horizontalScrollBar();
    const int width = viewport()->width();
    across->setRange(0, std::max(0, m_pHeader->length() - width));
    across->setPageStep(width);
    across->setSingleStep(std::max(1, Fit().LineHeight()));
    m_pHeader->setOffset(across->value());
}

void CZq6View::Fail(const QString& error)
{
    if (m_bFailed || LostServer())
        return;
    m_bFailed = true;
    // Told after the current paint or update has finished, never from inside it.
    QTimer::singleShot(0, this, [this, error] {
        if (m_pDocument)
            m_pDocument->Report(error, QStringLiteral("Error"));
    });
}

void CZq6View::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateMargins();
    UpdateScrollSizes();
}

void CZq6View::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateScrollSizes();
}

QVector<ListRow> CZq6View::RowsFromTop(qint64 topLine, qint64 lines)
{
    // The rows from the first event at or after the INDEX of the top line,
    // or the last rows when those do not reach the bottom. At the end of the
    // scroll range the last rows, also when the events there have several
    // rows each and those from the top line's would fill the screen.
    const qint64 wanted = std::min<qint64>(lines, m_nRows - topLine);
    const QScrollBar* bar = verticalScrollBar();
    const bool end = topLine > 0 && bar->value() >= bar->maximum();
    QVector<ListRow> rows;
    if (!end)
        rows = g_pSet->FetchFromEvent<ListRow>(m_span.first + topLine, int(wanted));
    m_bTopAtEnd = end || (rows.size() < wanted && topLine > 0);
    if (m_bTopAtEnd)
        rows = g_pSet->FetchLast<ListRow>(int(wanted));
    return rows;
}

void CZq6View::paintEvent(QPaintEvent* event)
{
    if (!m_pDocument || !m_pDocument->m_bDbOpen) {
        DrawStartHint();
        return;
    }
    const QRect area = event->rect();
    if (m_bServerAway) {
        DrawKeptRows(area);
        return;
    }
    if (m_bFailed || m_nRows == 0 || !SetReadable())
        return;
    const int lh = Fit().LineHeight();
    const qint64 top = verticalScrollBar()->value();

    if (!m_bExact) {
        const qint64 topLine = top / lh;
        const RowBand screen = VisibleRows(top, viewport()->height(), lh, m_nRows);
        QVector<ListRow> rows;
        try {
            if (g_pSet->GetCountSerial() != m_countSerial) { // counted meanwhile
                FollowSet();
                return;
            }
            rows = RowsFromTop(topLine, screen.count);
        } catch (const CDBException& e) {
            Fail(e.m_strError);
            if (m_bServerAway)
                DrawKeptRows(area);
            return;
        }
        if (!rows.isEmpty()) {
            m_bTopKnown = true;
            m_top = {rows.first().eventIndex, 0};
            m_topLine = topLine;
        }
        QPainter painter(viewport());
        DrawRows(painter, rows, topLine, top, area);
        return;
    }

    const RowBand band = VisibleRows(top + area.top(), area.height(), lh, m_nRows);
    if (band.count == 0)
        return;
    QVector<ListRow> rows;
    try {
        rows = g_pSet->FetchRows<ListRow>(band.first, static_cast<int>(band.count));
    } catch (const CDBException& e) {
        Fail(e.m_strError);
        if (m_bServerAway)
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
            if (m_bServerAway)
                DrawKeptRows(area);
            return;
        }
        if (!m_bExact)
            return;
    }
    if (!rows.isEmpty() && band.first == top / lh) {
        m_bTopKnown = true;
        m_top = {rows.first().eventIndex, 0};
        m_topLine = band.first;
    }
    QPainter painter(viewport());
    DrawRows(painter, rows, band.first, top, area);
}

void CZq6View::DrawStartHint()
{
    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const int lh = Fit().LineHeight();
    TextOut(painter, lh / 2, lh / 2, StartHint(), 0);
}

const TextFit& CZq6View::Fit()
{
    if (!m_fit || m_fit->Font() != font())
        m_fit.emplace(font());
    return *m_fit;
}

QVector<JoinMark> CZq6View::MarksOf(const QVector<ListRow>& rows, qint64 firstLine) const
{
    QVector<JoinMark> marks;
    marks.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        // The set knows the place of the rows it read last; rows read by
        // event INDEX begin with the first row of an event.
        if (m_bExact) {
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

void CZq6View::DrawRows(QPainter& painter, const QVector<ListRow>& rows, qint64 firstLine,
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

void CZq6View::DrawKeptRows(const QRect& area)
{
    QPainter painter(viewport());
    DrawMarkedRows(painter, m_drawn, m_drawnFirstLine, verticalScrollBar()->value(), area);
}

void CZq6View::DrawMarkedRows(QPainter& painter, const QVector<DrawnRow>& drawn, qint64 firstLine,
                              qint64 top, const QRect& area)
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

void CZq6View::TextOut(QPainter& painter, int x, int y, const QString& text, int clipRight)
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
