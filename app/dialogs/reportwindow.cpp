#include "app/dialogs/reportwindow.h"

#include "app/dialogs/datefield.h"
#include "app/dialogs/reportchartview.h"
#include "db/backend/connection.h"
#include "db/backend/dbexception.h"
#include "db/location/nativename.h"
#include "db/location/outputcheck.h"
#include "db/location/stagedfile.h"
#include "db/messages.h"
#include "db/record/database.h"
#include "db/record/datetext.h"
#include "formats/reportchart.h"
#include "formats/reportpdf.h"

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
#include <memory>
#include <mutex>
#include <optional>

// What Cancel stops: the report between its pieces, and on a server the
// statement running meanwhile, which may take the server seconds alone.
struct ReportStop
{
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    StatementCancel* server = nullptr; // while the report runs

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
    StopAttached(ReportStop& stop, Connection& connection)
        : m_stop(stop), m_server(connection.MakeCancel())
    {
        std::lock_guard lock(m_stop.mutex);
        m_stop.server = m_server.get();
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
    const std::unique_ptr<StatementCancel> m_server;
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

// What the window counts of the list: its filter but the days, which come
// from the window's own fields, and the list's days when it has them.
QString CountedRowsText(const JoinFilter& filter)
{
    JoinFilter undated = filter;
    undated.from.clear();
    undated.to.clear();
    QString counted =
        undated.IsEmpty()
            ? QCoreApplication::translate("ReportWindow", "Every row of the list is counted.")
            : QCoreApplication::translate("ReportWindow", "Filter: ") + undated.Described();
    if (!filter.from.isEmpty() || !filter.to.isEmpty())
        counted += QCoreApplication::translate("ReportWindow", " Within the list's dates: ") +
                   JoinFilter{{}, {}, {}, filter.from, filter.to}.Described() + QLatin1Char('.');
    return counted;
}

} // namespace

ReportWindow::ReportWindow(const Location& db, const JoinFilter& filter, MessageSink* messages,
                           QWidget* parent, ShellUi* ui)
    : QMainWindow(parent), m_db(db), m_filter(filter), m_messages(messages),
      m_ui(ui ? ui : &m_defaultUi)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Report - ") + db.Title() +
                   (filter.IsEmpty() ? QString() : tr(" (filtered)")));

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Print..."), QKeySequence::Print, this, &ReportWindow::PrintWithDialog);
    file->addAction(tr("Print Pre&view..."), this, &ReportWindow::PrintPreview);
    file->addAction(tr("&Export as PDF..."), this, &ReportWindow::ExportPdf);
    file->addSeparator();
    file->addAction(tr("&Close"), QKeySequence::Close, this, &QWidget::close);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(MakeControls(central));
    m_filterLabel = new QLabel(CountedRowsText(filter), central);
    m_filterLabel->setObjectName(QStringLiteral("filter"));
    m_filterLabel->setWordWrap(true);
    layout->addWidget(m_filterLabel);
    m_status = new QLabel(central);
    m_status->setObjectName(QStringLiteral("status"));
    layout->addWidget(m_status);
    layout->addWidget(MakeResults(central), 1);
    setCentralWidget(central);
    PlaceOver(parent);

    connect(m_run, &QPushButton::clicked, this, &ReportWindow::Run);
    connect(m_cancelButton, &QPushButton::clicked, this, &ReportWindow::Cancel);
    connect(m_chartUser, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_periodChart->SetReport(&m_report, index - 1); });
    m_cancelButton->setEnabled(false);
}

QLayout* ReportWindow::MakeControls(QWidget* central)
{
    auto* controls = new QHBoxLayout;
    const QDate today = QDate::currentDate();
    const QString day = QStringLiteral("yyyy-MM-dd 00:00:00");
    m_from = new DateField(DateField::Kind::DateOnly, central);
    m_from->setObjectName(QStringLiteral("from"));
    m_from->SetMoment(today.addDays(1 - today.day()).addMonths(-1).toString(day));
    m_to = new DateField(DateField::Kind::DateOnly, central);
    m_to->setObjectName(QStringLiteral("to"));
    m_to->SetMoment(today.toString(day));
    m_by = new QComboBox(central);
    m_by->setObjectName(QStringLiteral("by"));
    m_by->addItems({tr("Day"), tr("Week"), tr("Month")});
    m_run = new QPushButton(tr("&Run"), central);
    m_run->setObjectName(QStringLiteral("run"));
    m_cancelButton = new QPushButton(tr("Cancel"), central);
    m_cancelButton->setObjectName(QStringLiteral("cancel"));
    m_progress = new QProgressBar(central);
    m_progress->setRange(0, 1000);
    controls->addWidget(new QLabel(tr("From"), central));
    controls->addWidget(m_from);
    controls->addWidget(new QLabel(tr("to"), central));
    controls->addWidget(m_to);
    controls->addWidget(new QLabel(tr("by"), central));
    controls->addWidget(m_by);
    controls->addWidget(m_run);
    controls->addWidget(m_progress, 1);
    controls->addWidget(m_cancelButton);
    // Level with the top line when a day's reason shows under it.
    for (int i = 0; i < controls->count(); ++i) {
        QLayoutItem* item = controls->itemAt(i);
        item->setAlignment(Qt::AlignTop);
        if (auto* label = qobject_cast<QLabel*>(item->widget()))
            label->setMinimumHeight(m_from->Edit()->sizeHint().height());
    }
    return controls;
}

QWidget* ReportWindow::MakeResults(QWidget* central)
{
    auto* split = new QSplitter(Qt::Vertical, central);
    m_model = new QStandardItemModel(0, 7, this);
    m_model->setHorizontalHeaderLabels({tr("Period"), tr("User no."), tr("User name"), tr("Events"),
                                        tr("Button 1"), tr("First"), tr("Last")});
    auto* sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(m_model);
    m_table = new QTableView(split);
    m_table->setObjectName(QStringLiteral("table"));
    m_table->setModel(sorted);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(-1, Qt::AscendingOrder); // the report's own order until clicked
    m_table->verticalHeader()->hide();
    // The numbers and dates as wide as they are, the name taking the rest
    // (cut short with "…", whole in its tooltip).
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->horizontalHeader()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
    m_table->setTextElideMode(Qt::ElideRight);
    m_table->setWordWrap(false);

    auto* charts = new QWidget(split);
    auto* chartLayout = new QVBoxLayout(charts);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    m_chartUser = new QComboBox(charts);
    m_chartUser->setObjectName(QStringLiteral("chartUser"));
    chartLayout->addWidget(m_chartUser);
    auto* chartRow = new QHBoxLayout;
    m_periodChart = new ReportChartView(ReportChartView::Kind::Periods, charts);
    m_periodChart->setObjectName(QStringLiteral("periodChart"));
    m_hourChart = new ReportChartView(ReportChartView::Kind::Hours, charts);
    m_hourChart->setObjectName(QStringLiteral("hourChart"));
    chartRow->addWidget(m_periodChart, 3);
    chartRow->addWidget(m_hourChart, 2);
    chartLayout->addLayout(chartRow, 1);
    split->addWidget(m_table);
    split->addWidget(charts);
    return split;
}

void ReportWindow::PlaceOver(QWidget* parent)
{
    // Over the window it was opened from, within the screen.
    const QScreen* screen = parent ? parent->screen() : this->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(std::min(960, room.width() * 9 / 10), std::min(720, room.height() * 9 / 10));
    if (!parent)
        return;
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(parent->window()->frameGeometry().center());
    frame.moveLeft(std::max(room.left(), std::min(frame.left(), room.right() - frame.width())));
    frame.moveTop(std::max(room.top(), std::min(frame.top(), room.bottom() - frame.height())));
    move(frame.topLeft());
}

void ReportWindow::SetDays(const QString& from, const QString& to)
{
    m_from->SetMoment(from);
    m_to->SetMoment(to);
}

void ReportWindow::SetPeriod(ReportPeriod by)
{
    m_by->setCurrentIndex(int(by));
}

ReportWindow::~ReportWindow()
{
    Cancel();
    Join();
}

ReportOptions ReportWindow::Options() const
{
    ReportOptions options;
    options.filter = m_filter;
    // Run() starts nothing while a day cannot be read.
    const QString from = m_from->Moment().value_or(QString());
    // Empty after the last day a date may have: no bound, as on the command line.
    const QString to = datetext::EndOfDay(m_to->Moment().value_or(QString()));
    // The narrower of the chosen days and the list's own range.
    if (options.filter.from.isEmpty() || from > options.filter.from)
        options.filter.from = from;
    if (!to.isEmpty() && (options.filter.to.isEmpty() || to < options.filter.to))
        options.filter.to = to;
    options.by = static_cast<ReportPeriod>(m_by->currentIndex());
    options.byHour = true;
    return options;
}

void ReportWindow::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void ReportWindow::Run()
{
    if (DateField::FocusFirstInvalid({m_from, m_to})) {
        m_status->setText(tr("Nothing was counted: a day cannot be read."));
        return;
    }
    Cancel();
    Join();
    const ReportOptions options = Options();
    if (!options.filter.to.isEmpty() && options.filter.to <= options.filter.from) {
        m_status->setText(tr("The range holds no day."));
        return;
    }
    m_cancel = std::make_shared<ReportStop>();
    m_done = false;
    m_run->setEnabled(false);
    m_cancelButton->setEnabled(true);
    m_progress->setValue(0);
    m_status->setText(tr("Counting..."));
    m_shownOptions = options;
    QPointer<ReportWindow> self(this);
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
            connection.Open(db, [&](Connection& opened) { attached.emplace(*cancel, opened); });
            if (cancel->cancelled)
                throw CDBException(QStringLiteral("Cancelled"));
            report = BuildReport(connection, options, [&](double done) {
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [self, done] {
                        if (self)
                            self->m_progress->setValue(int(done * 1000));
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

void ReportWindow::Cancel()
{
    if (!m_cancel || m_done)
        return;
    m_cancel->Cancel();
    m_done = true;
    m_run->setEnabled(true);
    m_cancelButton->setEnabled(false);
    m_status->setText(tr("Cancelled."));
}

void ReportWindow::Show(const Report& report, const QString& error)
{
    m_done = true;
    m_run->setEnabled(true);
    m_cancelButton->setEnabled(false);
    m_progress->setValue(m_progress->maximum());
    if (!error.isEmpty()) {
        m_status->setText(tr("The report failed: ") + error);
        Q_EMIT Finished();
        return;
    }
    m_report = report;
    m_shownMade = QDateTime::currentDateTime();
    m_model->removeRows(0, m_model->rowCount());
    for (const ReportRow& row : m_report.rows)
        m_model->appendRow(cells(row.period, row.userNo, row.name, row.counts));
    for (const ReportRow& row : m_report.userTotals)
        m_model->appendRow(cells(tr("Total"), row.userNo, row.name, row.counts));
    m_model->appendRow(cells(tr("Total"), QVariant(), tr("All users"), m_report.total));
    for (int column = 0; column < m_model->columnCount(); ++column) {
        if (column != kNameColumn)
            m_table->resizeColumnToContents(column);
    }

    m_chartUser->blockSignals(true);
    m_chartUser->clear();
    m_chartUser->addItem(tr("All users, stacked"));
    for (const ReportRow& row : m_report.userTotals)
        m_chartUser->addItem(ReportUserLabel(row));
    m_chartUser->blockSignals(false);
    m_periodChart->SetReport(&m_report, -1);
    m_hourChart->SetReport(&m_report, -1);
    const qint64 events = m_report.total.events;
    const qint64 rows = m_report.rows.size();
    m_status->setText(tr("%1, %2.").arg(events == 1 ? tr("1 event") : tr("%1 events").arg(events),
                                        rows == 1 ? tr("1 row") : tr("%1 rows").arg(rows)));
    Q_EMIT Finished();
}

ReportWindow* OpenReportWindow(CDatabase& db, const JoinFilter& filter, MessageSink* messages,
                               QWidget* parent)
{
    auto* window = new ReportWindow(db.GetLocation(), filter, messages, parent);
    try {
        QDate last = QDate::fromString(LastEventDay(db), Qt::ISODate);
        // Within the list's own dates, when it has them.
        const QDate before = QDate::fromString(filter.to.left(10), Qt::ISODate);
        if (last.isValid() && before.isValid() && last >= before)
            last = filter.to.mid(11) == QLatin1String("00:00:00") ? before.addDays(-1) : before;
        if (last.isValid()) {
            const QString day = QStringLiteral("yyyy-MM-dd 00:00:00");
            window->SetDays(last.addMonths(-1).addDays(1).toString(day), last.toString(day));
        }
    } catch (const CDBException&) {
        // The report tells what is wrong with the database when it runs.
    }
    window->show();
    window->Run();
    return window;
}
