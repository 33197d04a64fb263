// The filtered event list on a real database, offscreen: from opening the
// database to the first painted screen with a filter of two user numbers
// (about 1% of the events) and with one of a user number in a day and a
// bit (about 10 events, in the middle of the log), beside the same without
// a filter. Prints the medians and the rows each filter lets through.
// Usage: bench_filter DB [RUNS]     (DB: a file or a server address)

#include "bench/benchcommon.h"
#include "bench/benchlist.h"
#include "db/backend/processsetup.h"
#include "db/location/location.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <vector>

namespace {

const QString kStoredFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// The filter of few rows: user 5 in the 30 hours from the middle event on.
EventFilter fewRows(const Location& location)
{
    CDatabase db;
    db.Open(location);
    PreparedQuery q(db, QStringLiteral("SELECT [DATE] FROM [EVENTS] WHERE [INDEX] >= (SELECT "
                                       "max([INDEX]) / 2 FROM [EVENTS]) ORDER BY [INDEX] LIMIT 1"));
    q.Exec();
    EventFilter filter;
    filter.userNos = {5};
    if (q.Next()) {
        const QDateTime from = bench::StoredDate(q.Value(0));
        filter.from = from.toString(kStoredFormat);
        filter.to = from.addSecs(30 * 3600).toString(kStoredFormat);
    }
    return filter;
}

} // namespace

int main(int argc, char** argv)
{
    SetUpProcess();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_filter DB [RUNS]\n");
        return 2;
    }
    const Location location = Location::Parse(QFile::decodeName(argv[1]));
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    EventFilter onePercent;
    onePercent.userNos = {5, 6};
    const EventFilter filters[] = {EventFilter(), onePercent, fewRows(location)};
    std::vector<double> firstPaint[3];
    qint64 rows[3] = {0, 0, 0};
    for (int run = 0; run < runs; ++run) {
        for (int f = 0; f < 3; ++f) {
            QElapsedTimer t;
            t.start();
            bench::ListWindow window;
            if (!window.Open(location, &filters[f]))
                return 1;
            firstPaint[f].push_back(bench::Ms(t));
            if (run == 0) {
                while (!window.view.IsRowCountExact())
                    app.processEvents(QEventLoop::WaitForMoreEvents, 50);
                rows[f] = window.view.RowCount();
            }
        }
    }
    std::printf("first paint %.3f ms\nfirst paint, 1%% filter %.3f ms\n"
                "first paint, few rows filter %.3f ms\nrows %lld %lld %lld\n",
                bench::Median(firstPaint[0]), bench::Median(firstPaint[1]),
                bench::Median(firstPaint[2]), static_cast<long long>(rows[0]),
                static_cast<long long>(rows[1]), static_cast<long long>(rows[2]));
    return 0;
}
