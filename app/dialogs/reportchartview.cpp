#include "app/dialogs/reportchartview.h"

#include "formats/reportchart.h"

#include <QPainter>

ReportChartView::ReportChartView(Kind kind, QWidget* parent) : QWidget(parent), m_kind(kind)
{
    setMinimumSize(240, 160);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ReportChartView::SetReport(const Report* report, int onlyUser)
{
    m_report = report;
    m_onlyUser = onlyUser;
    update();
}

void ReportChartView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_report)
        return;
    const QRectF area = QRectF(rect()).adjusted(6, 4, -6, -4);
    if (m_kind == Kind::Periods)
        PaintPeriodChart(painter, area, *m_report, m_onlyUser);
    else
        PaintHourChart(painter, area, *m_report);
}
