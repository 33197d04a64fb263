#pragma once

#include "app/dialogs/shellui.h"
#include "db/location/location.h"
#include "formats/reportquery.h"

#include <QDateTime>
#include <QMainWindow>
#include <memory>
#include <thread>

class CDatabase;
class DateField;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QTableView;
class ReportChartView;
class MessageSink;
class QPageSize;
class QPrinter;
struct ReportStop;

// View > Report: the events of the open database counted by period and user
// over a date range and the list's filter, as a sortable table, a bar chart of
// the periods (all users stacked, or one user) and a chart by hour of day;
// File > Print, Print Preview and Export as PDF, all of the same pages. It
// opens over its parent. The report runs on a thread of its own,
// through a connection of its own, with its progress and Cancel; the window
// stays usable meanwhile.
class CReportWindow : public QMainWindow
{
    Q_OBJECT

public:
    // ui runs the window's dialogs (the program's own when null).
    CReportWindow(const Location& db, const JoinFilter& filter, MessageSink* messages,
                  QWidget* parent = nullptr, ShellUi* ui = nullptr);
    ~CReportWindow() override; // cancels a running report and waits for it

    // Counts over the range and grouping now chosen.
    void Run();
    void Cancel();
    bool IsRunning() const { return m_thread.joinable() && !m_done; }
    const Report& Shown() const { return m_report; }
    // File > Print once the printer is chosen: the pages of the report shown.
    void Print(QPrinter& printer) const;
    // Writes the pages of the report shown as a PDF on paper of size to path,
    // with ".pdf" added where the name has no suffix; a file of that name no
    // dialog asked about is replaced only when the user agrees. Tells what was
    // written through the message sink; false when nothing was.
    bool WritePdf(QString path, const QPageSize& size);

    DateField* m_pFrom;
    DateField* m_pTo;
    QComboBox* m_pBy;
    QComboBox* m_pChartUser;
    QTableView* m_pTable;
    ReportChartView* m_pPeriods;
    ReportChartView* m_pHours;
    QProgressBar* m_pProgress;
    QPushButton* m_pRun;
    QPushButton* m_pCancel;
    QLabel* m_pStatus;
    QLabel* m_pFilter; // which rows of the list are counted

Q_SIGNALS:
    void Finished();

private:
    ReportOptions Options() const;
    void Show(const Report& report, const QString& error);
    void Join();
    void OnPrint();
    void OnPrintPreview();
    void OnExportPdf();

    const Location m_db;
    const JoinFilter m_filter;
    MessageSink* m_pMessages;
    ShellUi m_defaultUi;
    ShellUi* m_pUi;
    QStandardItemModel* m_pModel;
    Report m_report;
    ReportOptions m_shownOptions;
    QDateTime m_shownMade; // when the report shown was counted
    std::thread m_thread;
    std::shared_ptr<ReportStop> m_cancel;
    bool m_done = true;
};

// Opens a report window on the database over the month up to its newest
// event, and runs the report.
CReportWindow* OpenReportWindow(CDatabase& db, const JoinFilter& filter, MessageSink* messages,
                                QWidget* parent);

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
    const Report* m_pReport = nullptr;
    int m_onlyUser = -1;
};
