// How soon the open list shows what another program appended to its file:
// events committed on a connection of its own, as another program would, then the time until the
// list has painted them with nothing but the change watch to tell it, beside the same commit
// followed by a direct update and repaint (what View > Refresh would do at once). Each run appends
// 100 events to a copy of the database, open and counted. Prints one line per run: LIVE_MS <tab>
// DIRECT_MS <tab> CHECK_INTERVAL_MS. Usage: bench_live BASE_DB WORK_FOLDER RUNS

#include "bench/benchcommon.h"
#include "db/backend/dbexception.h"
#include "db/backend/processsetup.h"
#include "db/backend/sqliteconnection.h"
#include "db/changewatch.h"
#include "db/filechangewatch.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "view/eventlistview.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

namespace {

constexpr int kAppended = 100;

// The list, noting when a paint first shows at least `awaited` rows.
class WatchedView : public EventListView
{
public:
    using EventListView::EventListView;
    qint64 awaited = -1;
    bool painted = false;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        EventListView::paintEvent(event);
        if (awaited >= 0 && RowCount() >= awaited)
            painted = true;
    }
};

bool Append(SqliteConnection& db, int timer)
{
    const QByteArray sql =
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < "
                       "%1) INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) SELECT %2 + i, "
                       "datetime('2031-01-01 00:00:00', '+' || (%2 + i) || ' seconds'), i % 7, "
                       "'0' FROM n")
            .arg(kAppended - 1)
            .arg(timer)
            .toUtf8();
    try {
        db.Execute(sql);
        return true;
    } catch (const CDBException&) {
        return false;
    }
}

// Commits an append, then waits until the list has painted it; the
// milliseconds from the commit, -1 after 10 s.
double Delay(QApplication& app, WatchedView& view, SqliteConnection& other, int timer, bool direct)
{
    view.awaited = view.RowCount() + kAppended;
    view.painted = false;
    if (!Append(other, timer))
        return -1;
    QElapsedTimer t;
    t.start();
    if (direct) {
        view.OnUpdate();
        view.viewport()->repaint();
    }
    const QDeadlineTimer deadline(10000);
    while (!view.painted && !deadline.hasExpired())
        app.processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double ms = bench::Ms(t);
    // The watch's own wake for the direct run is taken before the next one.
    for (int i = 0; i < 20; ++i)
        app.processEvents(QEventLoop::AllEvents, 10);
    return view.painted ? ms : -1;
}

} // namespace

int main(int argc, char** argv)
{
    SetUpProcess();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 4 || QByteArray(argv[3]).toInt() <= 0) {
        std::fprintf(stderr, "usage: bench_live BASE_DB WORK_FOLDER RUNS\n");
        return 2;
    }
    const QString work = QDir(QFile::decodeName(argv[2])).filePath(QStringLiteral("live.db"));
    QFile::remove(work);
    if (!QFile::copy(QFile::decodeName(argv[1]), work) ||
        !QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner)) {
        std::fprintf(stderr, "bench_live: cannot copy %s\n", argv[1]);
        return 1;
    }
    const int runs = QByteArray(argv[3]).toInt();
    int status = 0;
    {
        bench::StderrSink sink;
        CZq6Doc doc(&sink);
        WatchedView view(&doc);
        view.resize(600, 32 * view.LineHeight());
        if (!doc.OnOpenDocument(work))
            return 1;
        ChangeWatch watch;
        QObject::connect(&watch, &ChangeWatch::Changed, &view, [&doc] { doc.UpdateAllViews(); });
        watch.Watch(g_db);
        view.show();
        view.ShowFromStart();
        while (!view.IsRowCountExact())
            app.processEvents(QEventLoop::WaitForMoreEvents, 50);
        view.viewport()->repaint();

        std::unique_ptr<SqliteConnection> opened;
        try {
            opened = SqliteConnection::Open(QFile::encodeName(work));
        } catch (const CDBException& e) {
            std::fprintf(stderr, "bench_live: cannot open %s: %s\n", qPrintable(work),
                         qUtf8Printable(e.m_strError));
            return 1;
        }
        SqliteConnection& other = *opened;
        for (int run = 0; run < runs && status == 0; ++run) {
            const double live = Delay(app, view, other, 2 * run * kAppended, false);
            const double direct = Delay(app, view, other, (2 * run + 1) * kAppended, true);
            if (live < 0 || direct < 0) {
                std::fprintf(stderr, "bench_live: the list did not show the new rows\n");
                status = 1;
                break;
            }
            std::printf("%.3f\t%.3f\t%d\n", live, direct, FileChangeWatch::kCheckIntervalMs);
            std::fflush(stdout);
        }
    }
    QFile::remove(work);
    return status;
}
