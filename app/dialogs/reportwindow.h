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
class QLayout;
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
class ReportWindow : public QMainWindow
{
    Q_OBJECT

public:
    // ui runs the window's dialogs (the program's own when null).
    ReportWindow(const Location& db, const JoinFilter& filter, MessageSink* messages,
                 QWidget* parent = nullptr, ShellUi* ui = nullptr);
    ~ReportWindow() override; // cancels a running report and waits for it

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
    // The days counted, from and to ("YYYY-MM-DD 00:00:00"), for the next Run().
    void SetDays(const QString& from, const QString& to);
    void SetPeriod(ReportPeriod by);

Q_SIGNALS:
    void Finished();

private:
    ReportOptions Options() const;
    void Show(const Report& report, const QString& error);
    QLayout* MakeControls(QWidget* central);
    QWidget* MakeResults(QWidget* central);
    void PlaceOver(QWidget* parent);
    void Join();
    void PrintWithDialog();
    void PrintPreview();
    void ExportPdf();

    DateField* m_from;
    DateField* m_to;
    QComboBox* m_by;
    QComboBox* m_chartUser;
    QTableView* m_table;
    ReportChartView* m_periodChart;
    ReportChartView* m_hourChart;
    QProgressBar* m_progress;
    QPushButton* m_run;
    QPushButton* m_cancelButton;
    QLabel* m_status;
    QLabel* m_filterLabel; // which rows of the list are counted
    const Location m_db;
    const JoinFilter m_filter;
    MessageSink* m_messages;
    ShellUi m_defaultUi;
    ShellUi* m_ui;
    QStandardItemModel* m_model;
    Report m_report;
    ReportOptions m_shownOptions;
    QDateTime m_shownMade; // when the report shown was counted
    std::thread m_thread;
    std::shared_ptr<ReportStop> m_cancel;
    bool m_done = true;
};

// Opens a report window on the database over the month up to its newest
// event, and runs the report.
ReportWindow* OpenReportWindow(CDatabase& db, const JoinFilter& filter, MessageSink* messages,
                               QWidget* parent);
