#pragma once

#include <QWidget>

struct Report;

// A chart of the report, painted by reportchart.h.
class ReportChartView : public QWidget
{
    Q_OBJECT

public:
    enum class Kind
    {
        Periods,
        Hours,
    };
    ReportChartView(Kind kind, QWidget* parent = nullptr);
    void SetReport(const Report* report, int onlyUser);
    QSize sizeHint() const override { return {480, 240}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind m_kind;
    const Report* m_report = nullptr;
    int m_onlyUser = -1;
};
