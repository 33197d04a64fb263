#include "app/dialogs/reportwindow.h"

#include "app/dialogs/datefield.h"
#include "db/backend/dbexception.h"
#include "db/backend/servercancel.h"
#include "db/location/nativename.h"
#include "db/location/outputcheck.h"
#include "db/location/stagedfile.h"
#include "db/messages.h"
#include "db/record/database.h"
#include "db/record/datetext.h"
#include "formats/reportchart.h"
#include "formats/reportpdf.h"
#include "platform/filestatus.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <atomic>
#include <mutex>
#include <optional>

// What Cancel stops: the report between its pieces, and on a server the
// statement running meanwhile, which may take the server seconds alone.
struct ReportStop
{
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    const ServerStatementCancel* server = nullptr; // while the report runs

    void Cancel()
    {
        cancelled = true;
        std::lock_guard lock(mutex);
        if (server)
            server->Cancel();
    }
};

namespace {

// Lets stop cancel the statements of connection while it lives.
class StopAttached
{
public:
    StopAttached(ReportStop& stop, const QSqlDatabase& connection)
        : m_stop(stop), m_server(connection)
    {
        std::lock_guard lock(m_stop.mutex);
        m_stop.server = &m_server;
    }
    ~StopAttached()
    {
        std::lock_guard lock(m_stop.mutex);
        m_stop.server = nullptr;
    }
    StopAttached(const StopAttached&) = delete;
    StopAttached& operator=(const StopAttached&) = delete;

private:
    ReportStop& m_stop;
    const ServerStatementCancel m_server;
};

QStandardItem* item(const QVariant& value)
{
    auto* cell = new QStandardItem;
    cell->setData(value, Qt::DisplayRole);
    cell->setEditable(false);
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
        cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return cell;
}

QList<QStandardItem*> cells(const QString& period, const QVariant& userNo, const QString& name,
                            const ReportCounts& c)
{
    QStandardItem* named = item(name);
    named->setToolTip(name); // the whole of a name the column cuts short
    return {item(period),    item(userNo),  named,       item(c.events),
            item(c.button1), item(c.first), item(c.last)};
}

constexpr int kNameColumn = 2;

bool fileExists(const QString& path)
{
    return platform::StatusOf(EncodeFileName(path)).Exists();
}

} // namespace

ReportChartView::ReportChartView(Kind kind, QWidget* parent) : QWidget(parent), m_kind(kind)
{
    setMinimumSize(240, 160);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ReportChartView::SetReport(const Report* report, int onlyUser)
{
    m_pReport = report;
    m_onlyUser = onlyUser;
    update();
}

void ReportChartView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_pReport)
        return;
    const QRectF area = QRectF(rect()).adjusted(6, 4, -6, -4);
    if (m_kind == Kind::Periods)
        PaintPeriodChart(painter, area, *m_pReport, m_onlyUser);
    else
        PaintHourChart(painter, area, *m_pReport);
}

CReportWindow::CReportWindow(const Location& db, const JoinFilter& filter, MessageSink* messages,
                             QWidget* parent, ShellUi* ui)
    : QMainWindow(parent), m_db(db), m_filter(filter), m_pMessages(messages),
      m_pUi(ui ? ui : &m_defaultUi)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Report - ") + db.Title() +
                   (filter.IsEmpty() ? QString() : QStringLiteral(" (filtered)")));

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Print..."), QKeySequence::Print, this,
                    &CReportWindow::OnPrint);
    file->addAction(tr("Print Pre&view..."), this, &CReportWindow::OnPrintPreview);
    file->addAction(QStringLiteral("&Export as PDF..."), this, &CReportWindow::OnExportPdf);
    file->addSeparator();
    file->addAction(QStringLiteral("&Close"), QKeySequence::Close, this, &QWidget::close);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* controls = new QHBoxLayout;
    const QDate today = QDate::currentDate();
    const QString day = QStringLiteral("yyyy-MM-dd 00:00:00");
    m_pFrom = new DateField(DateField::Kind::DateOnly, central);
    m_pFrom->SetMoment(today.addDays(1 - today.day()).addMonths(-1).toString(day));
    m_pTo = new DateField(DateField::Kind::DateOnly, central);
    m_pTo->SetMoment(today.toString(day));
    m_pBy = new QComboBox(central);
    m_pBy->addItems({QStringLiteral("Day"), QStringLiteral("Week"), QStringLiteral("Month")});
    m_pRun = new QPushButton(QStringLiteral("&Run"), central);
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), central);
    m_pProgress = new QProgressBar(central);
    m_pProgress->setRange(0, 1000);
    controls->addWidget(new QLabel(QStringLiteral("From"), central));
    controls->addWidget(m_pFrom);
    controls->addWidget(new QLabel(QStringLiteral("to"), central));
    controls->addWidget(m_pTo);
    controls->addWidget(new QLabel(QStringLiteral("by"), central));
    controls->addWidget(m_pBy);
    controls->addWidget(m_pRun);
    controls->addWidget(m_pProgress, 1);
    controls->addWidget(m_pCancel);
    // Level with the top line when a day's reason shows under it.
    for (int i = 0; i < controls->count(); ++i) {
        QLayoutItem* item = controls->itemAt(i);
        item->setAlignment(Qt::AlignTop);
        if (auto* label = qobject_cast<QLabel*>(item->widget()))
            label->setMinimumHeight(m_pFrom->Edit()->sizeHint().height());
    }
    layout->addLayout(controls);
    // The days come from the controls above; the rest of the list's filter
    // is named here.
    JoinFilter undated = filter;
    undated.from.clear();
    undated.to.clear();
    QString counted = undated.IsEmpty() ? QStringLiteral("Every row of the list is counted.")
                                        : QStringLiteral("Filter: ") + undated.Described();
    if (!filter.from.isEmpty() || !filter.to.isEmpty())
        counted += QStringLiteral(" Within the list's dates: ") +
                   JoinFilter{{}, {}, {}, filter.from, filter.to}.Described() + QLatin1Char('.');
    m_pFilter = new QLabel(counted, central);
    m_pFilter->setObjectName(QStringLiteral("filter"));
    m_pFilter->setWordWrap(true);
    layout->addWidget(m_pFilter);
    m_pStatus = new QLabel(central);
    layout->addWidget(m_pStatus);

    auto* split = new QSplitter(Qt::Vertical, central);
    m_pModel = new QStandardItemModel(0, 7, this);
    m_pModel->setHorizontalHeaderLabels({QStringLiteral("Period"), QStringLiteral("User no."),
                                         QStringLiteral("User name"), QStringLiteral("Events"),
                                         QStringLiteral("Button 1"), QStringLiteral("First"),
                                         QStringLiteral("Last")});
    auto* sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(m_pModel);
    m_pTable = new QTableView(split);
    m_pTable->setModel(sorted);
    m_pTable->setSortingEnabled(true);
    m_pTable->sortByColumn(-1, Qt::AscendingOrder); // the report's own order until clicked
    m_pTable->verticalHeader()->hide();
    // The numbers and dates as wide as they are, the name taking the rest
    // (cut short with "…", whole in its tooltip).
    m_pTable->horizontalHeader()->setStretchLastSection(false);
    m_pTable->horizontalHeader()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
    m_pTable->setTextElideMode(Qt::ElideRight);
    m_pTable->setWordWrap(false);

    auto* charts = new QWidget(split);
    auto* chartLayout = new QVBoxLayout(charts);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    m_pChartUser = new QComboBox(charts);
    chartLayout->addWidget(m_pChartUser);
    auto* chartRow = new QHBoxLayout;
    m_pPeriods = new ReportChartView(ReportChartView::Kind::Periods, charts);
    m_pHours = new ReportChartView(ReportChartView::Kind::Hours, charts);
    chartRow->addWidget(m_pPeriods, 3);
    chartRow->addWidget(m_pHours, 2);
    chartLayout->addLayout(chartRow, 1);
    split->addWidget(m_pTable);
    split->addWidget(charts);
    layout->addWidget(split, 1);
    setCentralWidget(central);
    // Over the window it was opened from, within the screen.
    const QScreen* screen = parent ? parent->screen() : this->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(std::min(960, room.width() * 9 / 10), std::min(720, room.height() * 9 / 10));
    if (parent) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(parent->window()->frameGeometry().center());
        frame.moveLeft(std::max(room.left(), std::min(frame.left(), room.right() - frame.width())));
        frame.moveTop(std::max(room.top(), std::min(frame.top(), room.bottom() - frame.height())));
        move(frame.topLeft());
    }

    connect(m_pRun, &QPushButton::clicked, this, &CReportWindow::Run);
    connect(m_pCancel, &QPushButton::clicked, this, &CReportWindow::Cancel);
    connect(m_pChartUser, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_pPeriods->SetReport(&m_report, index - 1); });
    m_pCancel->setEnabled(false);
}

CReportWindow::~CReportWindow()
{
    Cancel();
    Join();
}

ReportOptions CReportWindow::Options() const
{
    ReportOptions options;
    options.filter = m_filter;
    // Run() starts nothing while a day cannot be read.
    const QString from = m_pFrom->Moment().value_or(QString());
    // Empty after the last day a date may have: no bound, as on the command line.
    const QString to = datetext::EndOfDay(m_pTo->Moment().value_or(QString()));
    // The narrower of the chosen days and the list's own range.
    if (options.filter.from.isEmpty() || from > options.filter.from)
        options.filter.from = from;
    if (!to.isEmpty() && (options.filter.to.isEmpty() || to < options.filter.to))
        options.filter.to = to;
    options.by = static_cast<ReportPeriod>(m_pBy->currentIndex());
    options.byHour = true;
    return options;
}

void CReportWindow::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void CReportWindow::Run()
{
    if (DateField::FocusFirstInvalid({m_pFrom, m_pTo})) {
        m_pStatus->setText(tr("Nothing was counted: a day cannot be read."));
        return;
    }
    Cancel();
    Join();
    const ReportOptions options = Options();
    if (!options.filter.to.isEmpty() && options.filter.to <= options.filter.from) {
        m_pStatus->setText(QStringLiteral("The range holds no day."));
        return;
    }
    m_cancel = std::make_shared<ReportStop>();
    m_done = false;
    m_pRun->setEnabled(false);
    m_pCancel->setEnabled(true);
    m_pProgress->setValue(0);
    m_pStatus->setText(QStringLiteral("Counting..."));
    m_shownOptions = options;
    QPointer<CReportWindow> self(this);
    m_thread = std::thread([self, options, db = m_db, cancel = m_cancel] {
        Report report;
        QString error;
        try {
            // Connections belong to the thread that opened them.
            CDatabase connection;
            // Attached as soon as a server takes the connection: the checks
            // of the opening may wait too (on a table another program
            // locked), and Cancel stops them as well.
            std::optional<StopAttached> attached;
            connection.Open(db,
                            [&](const QSqlDatabase& handle) { attached.emplace(*cancel, handle); });
            if (!attached)
                attached.emplace(*cancel, connection.Handle());
            if (cancel->cancelled)
                throw CDBException(QStringLiteral("Cancelled"));
            report = BuildReport(connection, options, [&](double done) {
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [self, done] {
                        if (self)
                            self->m_pProgress->setValue(int(done * 1000));
                    },
                    Qt::QueuedConnection);
                return !cancel->cancelled;
            });
        } catch (const CDBException& e) {
            error = e.m_strError;
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, report = std::move(report), error, cancel] {
                if (self && !cancel->cancelled)
                    self->Show(report, error);
            },
            Qt::QueuedConnection);
    });
}

void CReportWindow::Cancel()
{
    if (!m_cancel || m_done)
        return;
    m_cancel->Cancel();
    m_done = true;
    m_pRun->setEnabled(true);
    m_pCancel->setEnabled(false);
    m_pStatus->setText(QStringLiteral("Cancelled."));
}

void CReportWindow::Show(const Report& report, const QString& error)
{
    m_done = true;
    m_pRun->setEnabled(true);
    m_pCancel->setEnabled(false);
    m_pProgress->setValue(m_pProgress->maximum());
    if (!error.isEmpty()) {
        m_pStatus->setText(QStringLiteral("The report failed: ") + error);
        Q_EMIT Finished();
        return;
    }
    m_report = report;
    m_shownMade = QDateTime::currentDateTime();
    m_pModel->removeRows(0, m_pModel->rowCount());
    for (const ReportRow& row : m_report.rows)
        m_pModel->appendRow(cells(row.period, row.userNo, row.name, row.counts));
    for (const ReportRow& row : m_report.userTotals)
        m_pModel->appendRow(cells(QStringLiteral("Total"), row.userNo, row.name, row.counts));
    m_pModel->appendRow(
        cells(QStringLiteral("Total"), QVariant(), QStringLiteral("All users"), m_report.total));
    for (int column = 0; column < m_pModel->columnCount(); ++column) {
        if (column != kNameColumn)
            m_pTable->resizeColumnToContents(column);
    }

    m_pChartUser->blockSignals(true);
    m_pChartUser->clear();
    m_pChartUser->addItem(QStringLiteral("All users, stacked"));
    for (const ReportRow& row : m_report.userTotals)
        m_pChartUser->addItem(ReportUserLabel(row));
    m_pChartUser->blockSignals(false);
    m_pPeriods->SetReport(&m_report, -1);
    m_pHours->SetReport(&m_report, -1);
    const auto counted = [](qint64 n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    m_pStatus->setText(
        QStringLiteral("%1, %2.").arg(counted(m_report.total.events, "event", "events"),
                                      counted(m_report.rows.size(), "row", "rows")));
    Q_EMIT Finished();
}

void CReportWindow::OnPrint()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(ReportPageLayout(printer.pageLayout().pageSize()));
    printer.setDocName(windowTitle());
    QPrintDialog dialog(&printer, this);
    if (m_pUi->DoModal(dialog) != QDialog::Accepted)
        return;
    // Printed to a file: written as Export as PDF writes it, on the paper
    // chosen.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        WritePdf(printer.outputFileName(), printer.pageLayout().pageSize());
    else
        Print(printer);
}

void CReportWindow::OnPrintPreview()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(ReportPageLayout(printer.pageLayout().pageSize()));
    printer.setDocName(windowTitle());
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* shown) { Print(*shown); });
    m_pUi->DoModal(dialog);
}

void CReportWindow::Print(QPrinter& printer) const
{
    PaintReportPages(printer, m_report, ReportTitleFor(m_db, m_shownOptions, m_shownMade));
}

void CReportWindow::OnExportPdf()
{
    QFileDialog dialog(this, QStringLiteral("Export as PDF"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("PDF (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (m_pUi->DoModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    WritePdf(dialog.selectedFiles().first(), QPageSize(QPageSize::A4));
}

bool CReportWindow::WritePdf(QString path, const QPageSize& size)
{
    if (path.isEmpty())
        return false;
    // The dialogs ask before replacing the file they name; the name written
    // may have its suffix added here.
    const QString named = path;
    path = WithDefaultExtension(path, QStringLiteral("PDF (*.pdf)"));
    if (path != named && fileExists(path)) {
        QMessageBox ask(QMessageBox::Question, QStringLiteral("ZQreader"),
                        tr("\"%1\" already exists.\n\nReplace it?").arg(ShownFileName(path)),
                        QMessageBox::Yes | QMessageBox::No, this);
        ask.setTextFormat(Qt::PlainText);
        ask.setDefaultButton(QMessageBox::No);
        if (m_pUi->DoModal(ask) != QMessageBox::Yes)
            return false;
    }
    auto fail = [this, &path](const QString& detail) {
        if (m_pMessages)
            m_pMessages->ShowMessage(
                {QStringLiteral("Cannot write \"%1\"").arg(ShownFileName(path)),
                 QStringLiteral("Error"), detail});
        return false;
    };
    const QString over = OutputOverInputMessage(path, m_db);
    if (!over.isEmpty())
        return fail(over);
    // The file appears only when complete; a failure leaves what was there.
    int pages = 0;
    StagedFile file(path);
    if (!file.Write(
            ReportPdf(m_report, ReportTitleFor(m_db, m_shownOptions, m_shownMade), size, &pages)) ||
        !file.Commit())
        return fail(file.ErrorString());
    if (m_pMessages)
        m_pMessages->ShowMessage(
            {pages == 1 ? tr("The report was written to \"%1\" (1 page).").arg(ShownFileName(path))
                        : tr("The report was written to \"%1\" (%2 pages).")
                              .arg(ShownFileName(path), QString::number(pages)),
             QStringLiteral("OK"),
             {}});
    return true;
}

CReportWindow* OpenReportWindow(CDatabase& db, const JoinFilter& filter, MessageSink* messages,
                                QWidget* parent)
{
    auto* window = new CReportWindow(db.GetLocation(), filter, messages, parent);
    try {
        QDate last = QDate::fromString(LastEventDay(db), Qt::ISODate);
        // Within the list's own dates, when it has them.
        const QDate before = QDate::fromString(filter.to.left(10), Qt::ISODate);
        if (last.isValid() && before.isValid() && last >= before)
            last = filter.to.mid(11) == QLatin1String("00:00:00") ? before.addDays(-1) : before;
        if (last.isValid()) {
            const QString day = QStringLiteral("yyyy-MM-dd 00:00:00");
            window->m_pTo->SetMoment(last.toString(day));
            window->m_pFrom->SetMoment(last.addMonths(-1).addDays(1).toString(day));
        }
    } catch (const CDBException&) {
        // The report tells what is wrong with the database when it runs.
    }
    window->show();
    window->Run();
    return window;
}
