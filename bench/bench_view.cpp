// The event list on a real database, offscreen: from the start to the first
// painted screen, one paint once the rows are counted and the rows such a
// paint reads (its fetch) on their own, beside a plain 32-row keyset window
// read on a connection of its own, and one round trip to the database (a
// SELECT 1 on that connection). Of a server database the first paint is also
// told in two: the driver's opening of the connection, and the rest, from
// the connection up to the paint. Prints the medians.
// Usage: bench_view DB [RUNS [PAINTS]]     (DB: a file or a server address;
// PAINTS paints a run, 200 unless given: fewer for a server far away)

#include "bench/benchcommon.h"
#include "bench/benchlist.h"
#include "db/backend/processsetup.h"
#include "db/backend/serverdb.h"
#include "db/messages.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/record/preparedquery.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "view/eventlistview.h"
#include "view/viewlayout.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    SetUpProcess();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_view DB [RUNS]\n");
        return 2;
    }
    const QString path = QFile::decodeName(argv[1]);
    const Location location = Location::Parse(path);
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    const int paints = argc > 3 ? std::max(1, atoi(argv[3])) : 200;

    std::vector<double> firstPaint, onePaint, fetch, window, roundTrip, connect, afterConnect;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        bench::ListWindow list;
        if (!list.Open(location))
            return 1;
        EventListView& view = list.view;
        firstPaint.push_back(bench::Ms(t));
        connect.push_back(double(LastServerOpenNanoseconds()) / 1e6);
        afterConnect.push_back(firstPaint.back() - connect.back());

        while (!view.IsRowCountExact())
            app.processEvents(QEventLoop::WaitForMoreEvents, 50);
        QRandomGenerator random(run);
        QScrollBar* bar = view.verticalScrollBar();
        for (int i = 0; i < paints; ++i) {
            bar->setValue(random.bounded(std::max(1, bar->maximum())));
            t.restart();
            view.viewport()->repaint();
            onePaint.push_back(bench::Ms(t));

            // Elsewhere, so that it does not start from the rows just read.
            bar->setValue(random.bounded(std::max(1, bar->maximum())));
            const RowBand band = VisibleRows(bar->value(), view.viewport()->height(),
                                             view.LineHeight(), view.RowCount());
            t.restart();
            g_pSet->FetchRows<ListRow>(band.first, int(band.count));
            fetch.push_back(bench::Ms(t));
        }
    }

    // The floor: a 32-row window by key on a statement prepared once.
    {
        CDatabase db;
        db.Open(Location::Parse(path));
        CZq6Set set(&db);
        PreparedQuery q(db, QStringLiteral("SELECT [EVENTS].[INDEX], [EVENTS].[TIMER], "
                                           "[EVENTS].[DATE], [EVENTS].[USER_NO], "
                                           "[USERS].[NAME] FROM ") +
                                set.GetDefaultSQL() +
                                QStringLiteral(" WHERE [EVENTS].[INDEX] >= ? ORDER BY "
                                               "[EVENTS].[INDEX], [USERS].[INDEX] LIMIT 32"));
        PreparedQuery last(db, QStringLiteral("SELECT max([INDEX]) FROM EVENTS"));
        last.Exec();
        const qint64 top = last.Next() ? last.Int64(0) : 1;
        last.Finish();
        QRandomGenerator random(7);
        for (int i = 0; i < 5 * paints; ++i) {
            QElapsedTimer t;
            t.start();
            q.Exec({random.bounded(top) + 1});
            while (q.Next())
                q.Value(4);
            window.push_back(bench::Ms(t));
        }
        PreparedQuery one(db, QStringLiteral("SELECT 1"));
        for (int i = 0; i < 5 * paints; ++i) {
            QElapsedTimer t;
            t.start();
            one.Exec();
            if (!one.Next() || one.Int64(0) != 1)
                return 1;
            one.Finish();
            roundTrip.push_back(bench::Ms(t));
        }
    }
    std::printf("first paint %.3f ms\none paint %.3f ms\none paint's fetch %.4f ms\n"
                "keyset window %.4f ms\nround trip %.4f ms\n",
                bench::Median(firstPaint), bench::Median(onePaint), bench::Median(fetch),
                bench::Median(window), bench::Median(roundTrip));
    if (location.IsServer())
        std::printf("connection opened by the driver %.3f ms\n"
                    "first paint once connected %.3f ms\n",
                    bench::Median(connect), bench::Median(afterConnect));
    return 0;
}
