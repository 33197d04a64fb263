#include "view/eventlistview.h"

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

EventListView::EventListView(CZq6Doc* document, QWidget* parent)
    : QAbstractScrollArea(parent), m_document(document), m_filterBar(new QLabel(this))
{
    m_filterBar->setObjectName(QStringLiteral("filterBar"));
    m_filterBar->setContentsMargins(4, 2, 4, 2);
    m_filterBar->setAutoFillBackground(true);
    m_filterBar->setBackgroundRole(QPalette::ToolTipBase);
    m_filterBar->setForegroundRole(QPalette::ToolTipText);
    m_filterBar->setWhatsThis(tr("The list shows only the events that pass the filter of View "
                                 "> Filter; View > Clear Filter shows all of them again."));
    m_filterBar->hide();
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::WheelFocus);
    setWhatsThis(tr("The events of the open database, oldest first: date, time, user number, "
                    "user name and timer value of each event. Click a row to select it, "
                    "with Shift or Ctrl to select more; Ctrl+C copies the selected rows."));
    MakeHeader();
    if (m_document)
        m_document->AddView(this);
    UpdateMargins();
    UpdateScrollSizes();
}

EventListView::~EventListView()
{
    if (g_pSet)
        g_pSet->SetCountDone({});
    if (m_document)
        m_document->RemoveView(this);
}

int EventListView::LineHeight() const
{
    const QFontMetrics fm(font());
    return fm.height() + std::max(0, fm.leading());
}

qint64 EventListView::ContentHeight() const
{
    return ::ContentHeight(m_rowCount, LineHeight());
}

bool EventListView::IsSetReadable() const
{
    return m_document && m_document->m_bDbOpen && g_pSet && g_pSet->IsOpen();
}

void EventListView::ShowFromStart()
{
    m_failed = false;
    m_serverAway = false;
    m_topKnown = false;
    m_mark.reset();
    m_anchor.reset();
    m_selection.Clear();
    m_drawn.clear();
    // Another database, or the same one anew: shown from its first row.
    m_rowCount = 0;
    m_exact = true;
    UpdateScrollSizes();
    verticalScrollBar()->setValue(0);
    m_texts = ListTexts(false); // the zone's rules may have changed since
    try {
        if (m_document && m_document->m_bDbOpen && g_pSet) {
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
        m_rowCount = 0;
        m_exact = true;
        UpdateScrollSizes();
        Fail(e.m_strError);
        return;
    }
    Recount(Count::All);
}

void EventListView::OnUpdate()
{
    Recount(Count::Changed);
}

void EventListView::ApplyFilter(const EventFilter& filter)
{
    if (!IsSetReadable())
        return;
    g_pSet->SetFilter(filter);
    m_topKnown = false;
    verticalScrollBar()->setValue(0);
    Recount(Count::All);
}

QString EventListView::FilterBarText() const
{
    return m_filterBar->isHidden() ? QString() : m_filterBar->text();
}

void EventListView::UpdateFilterBar()
{
    const bool filtered = IsSetReadable() && g_pSet->IsFiltered();
    if (filtered) {
        const QLocale locale;
        m_filterBar->setText(g_pSet->IsCounted()
                                 ? tr("Filtered: %1 of %2 events")
                                       .arg(locale.toString(g_pSet->GetRowCount()),
                                            locale.toString(g_pSet->GetEventCount()))
                                 : tr("Filtered: counting..."));
        m_filterBar->setToolTip(g_pSet->GetFilter().Described());
    }
    m_filterBar->setVisible(filtered);
    UpdateMargins();
    Q_EMIT CountChanged();
}

QString EventListView::CountText() const
{
    if (!IsSetReadable())
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

void EventListView::Recount(Count how)
{
    if (m_serverAway)
        return; // counted again once it is back
    if (IsSetReadable()) {
        try {
            if (how == Count::All)
                g_pSet->StartCount();
            else
                g_pSet->UpdateCount();
            FollowSet();
            m_failed = false;
            return;
        } catch (const CDBException& e) {
            if (LostServer())
                return;
            Fail(e.m_strError);
        }
    }
    m_rowCount = 0;
    m_exact = true;
    UpdateScrollSizes();
    UpdateFilterBar();
    viewport()->update();
}

void EventListView::SetServerAway(bool away)
{
    if (away == m_serverAway)
        return;
    m_serverAway = away;
    if (away) {
        viewport()->update();
        return;
    }
    m_failed = false;
    Recount(Count::All);
}

bool EventListView::LostServer()
{
    if (m_serverAway)
        return true;
    if (!m_document || !m_document->m_bDbOpen || g_db.ConnectionLoss().isEmpty())
        return false;
    m_serverAway = true;
    viewport()->update();
    // Told after the current paint or update has finished, never from inside it.
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT ConnectionLost(); }, Qt::QueuedConnection);
    return true;
}

void EventListView::OnCountDone()
{
    if (m_serverAway || !IsSetReadable() || !g_pSet->IsCounting())
        return;
    try {
        g_pSet->AdoptCount();
        FollowSet();
    } catch (const CDBException& e) {
        Fail(e.m_strError);
    }
}

void EventListView::FollowSet()
{
    const int lh = LineHeight();
    QScrollBar* bar = verticalScrollBar();
    const qint64 within = bar->value() % lh;
    const bool exact = g_pSet->IsCounted();
    // Whoever looked at the last rows goes on seeing the last rows.
    const bool atEnd = m_rowCount > 0 && bar->value() >= bar->maximum();
    const bool recounted = g_pSet->GetCountSerial() != m_countSerial;
    qint64 topLine = -1; // -1: the position stays
    if (exact) {
        m_rowCount = g_pSet->GetRowCount();
        // The row at the top stays there, also when rows before it came or went.
        const bool topInPlace = m_topKnown && m_topLine == bar->value() / lh;
        if ((!m_exact && m_topKnown) || (recounted && topInPlace))
            topLine = m_topAtEnd ? m_rowCount : g_pSet->RowOfEvent(m_top.eventIndex) + m_top.skip;
    } else {
        m_span = g_pSet->CurrentEventSpan();
        m_rowCount = m_span.IsEmpty() ? 0 : m_span.last - m_span.first + 1;
        if (m_exact && m_topKnown)
            topLine = std::max<qint64>(0, m_top.eventIndex - m_span.first);
    }
    m_exact = exact;
    m_topAtEnd = false;
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

void EventListView::UpdateScrollSizes()
{
    const int lh = LineHeight();
    const qint64 page = viewport()->height();
    const qint64 range = std::max<qint64>(0, ContentHeight() - page);
    QScrollBar* bar = verticalScrollBar();
    // The position stays where it is, held inside the new content.
    bar->setRange(0, static_cast<int>(std::min<qint64>(range, INT_MAX)));
    bar->setPageStep(static_cast<int>(page));
    bar->setSingleStep(lh);
    // Sideways when the window is narrower than the columns.
    QScrollBar* across = horizontalScrollBar();
    const int width = viewport()->width();
    across->setRange(0, std::max(0, m_header->length() - width));
    across->setPageStep(width);
    across->setSingleStep(std::max(1, Fit().LineHeight()));
    m_header->setOffset(across->value());
}

void EventListView::Fail(const QString& error)
{
    if (m_failed || LostServer())
        return;
    m_failed = true;
    // Told after the current paint or update has finished, never from inside it.
    QTimer::singleShot(0, this, [this, error] {
        if (m_document)
            m_document->Report(error, UserMessage::Kind::Error);
    });
}

void EventListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateMargins();
    UpdateScrollSizes();
}

void EventListView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateScrollSizes();
}
