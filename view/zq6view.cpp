#include "view/zq6view.h"

#include "db/dbexception.h"
#include "db/dbstate.h"
#include "db/zq6set.h"
#include "view/viewlayout.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

CZq6View::CZq6View(CZq6Doc* pDoc, QWidget* parent) : QAbstractScrollArea(parent), m_pDocument(pDoc)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::WheelFocus);
    setWhatsThis(tr("The events of the open database, oldest first: date, time, user number, "
                    "user name and timer value of each event."));
    if (m_pDocument)
        m_pDocument->AddView(this);
    UpdateScrollSizes();
}

CZq6View::~CZq6View()
{
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
    try {
        if (m_pDocument && m_pDocument->m_bDbOpen && g_pSet) {
            if (g_pSet->IsOpen())
                g_pSet->Close();
            g_pSet->m_strSort = QStringLiteral("EVENTS.INDEX");
            g_pSet->Open(CRecordset::useDefaultType);
        }
    } catch (const CDBException& e) {
        m_nRows = 0;
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

void CZq6View::Recount(Count how)
{
    m_nRows = 0;
    if (SetReadable()) {
        try {
            m_nRows = how == Count::All ? g_pSet->CountRows() : g_pSet->UpdateRowCount();
            m_countSerial = g_pSet->GetCountSerial();
            m_bFailed = false;
        } catch (const CDBException& e) {
            m_nRows = 0;
            Fail(e.m_strError);
        }
    }
    UpdateScrollSizes();
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
}

void CZq6View::Fail(const QString& error)
{
    if (m_bFailed)
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
    UpdateScrollSizes();
}

void CZq6View::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateScrollSizes();
}

void CZq6View::paintEvent(QPaintEvent* event)
{
    if (m_bFailed || m_nRows == 0 || !SetReadable())
        return;
    const int lh = LineHeight();
    const qint64 top = verticalScrollBar()->value();
    const QRect area = event->rect();
    const RowBand band = VisibleRows(top + area.top(), area.height(), lh, m_nRows);
    if (band.count == 0)
        return;

    QVector<JoinedRow> rows;
    try {
        rows = g_pSet->FetchRows(band.first, static_cast<int>(band.count));
    } catch (const CDBException& e) {
        Fail(e.m_strError);
        return;
    }
    if (g_pSet->GetCountSerial() != m_countSerial) {
        // Another program changed the database and the set counted again:
        // the rows fetched are right, the scroll range follows, and the
        // whole view is drawn again.
        m_countSerial = g_pSet->GetCountSerial();
        m_nRows = g_pSet->GetRowCount();
        UpdateScrollSizes();
        viewport()->update();
    }

    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const JoinedRow& row = rows.at(i);
        const int y = static_cast<int>((band.first + i) * lh - top);
        const RowTexts t = FormatRow(row.date, row.userNo, row.name, row.timer);
        const QString texts[] = {t.date, t.time, t.userNo, t.name, t.timer};
        for (size_t c = 0; c < kColumnX.size(); ++c) {
            // A text too wide for its column is cut where the next one begins.
            const int clip = c + 1 < kColumnX.size() ? kColumnX[c + 1] : 0;
            TextOut(painter, kColumnX[c], y, texts[c], clip);
        }
    }
}

void CZq6View::TextOut(QPainter& painter, int x, int y, const QString& text, int clipRight)
{
    if (text.isEmpty())
        return;
    const QFontMetrics fm(painter.font());
    if (clipRight > x) {
        painter.save();
        painter.setClipRect(QRect(x, y, clipRight - x, LineHeight()), Qt::IntersectClip);
        painter.drawText(QPoint(x, y + fm.ascent()), text);
        painter.restore();
    } else {
        painter.drawText(QPoint(x, y + fm.ascent()), text);
    }
}
