// Go to Date and Find on a real database: the time from a moment (or a
// row) to the event shown, beside a plain 32-row keyset window read on a
// statement prepared once. Prints the medians, in ms: go to date before the
// rows are counted, go to date with the row number once counted, find the
// next event of a user number, find the next row of a name, find a number
// no event has (a walk of the whole table inside the database), the window.
// Usage: bench_seek DB [RUNS]     (DB: any location: a file, a server
// address, odbc:FILE)

#include "bench/benchcommon.h"
#include "db/backend/processsetup.h"
#include "db/listseek.h"
#include "db/location/location.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"
#include "db/zq6set.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    SetUpProcess();
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_seek DB [RUNS]\n");
        return 2;
    }
    const QString path = QFile::decodeName(argv[1]);
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 200;

    CDatabase db;
    db.Open(Location::Parse(path)); // a file, a server or an ODBC source
    CZq6Set set(&db);
    set.m_strSort = QStringLiteral("EVENTS.INDEX");
    set.Open(CRecordset::useDefaultType);
    const CZq6Set::EventSpan span = set.ReadEventSpan();
    PreparedQuery first(db, QStringLiteral("SELECT MIN(DATE), MAX(DATE) FROM EVENTS"));
    first.Exec();
    first.Next();
    const QDateTime from = bench::StoredDate(first.Value(0));
    const qint64 seconds = from.secsTo(bench::StoredDate(first.Value(1)));
    first.Finish();
    PreparedQuery names(db, QStringLiteral("SELECT NAME FROM USERS ORDER BY [INDEX]"));
    names.Exec();
    QStringList userNames;
    while (names.Next())
        userNames << names.Value(0).toString();

    QRandomGenerator random(11);
    const auto moment = [&] {
        return from.addSecs(qint64(random.bounded(double(seconds + 1))))
            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    };
    const auto anyEvent = [&] {
        return span.first + qint64(random.bounded(double(span.last - span.first + 1)));
    };
    std::vector<double> gotoDate, gotoCounted, findNumber, findName, missing, window;
    QElapsedTimer t;
    for (int i = 0; i < runs; ++i) {
        const QString at = moment();
        t.start();
        EventAtDate(db, at);
        gotoDate.push_back(bench::Ms(t));

        ListFind number;
        number.byNumber = true;
        number.userNo = int(random.bounded(200)) + 1;
        const JoinMark start{anyEvent(), 0};
        t.restart();
        FindInList(db, number, start, true);
        findNumber.push_back(bench::Ms(t));

        ListFind name;
        name.text = userNames.isEmpty() ? QStringLiteral("x")
                                        : userNames.at(random.bounded(int(userNames.size())));
        t.restart();
        FindInList(db, name, start, true);
        findName.push_back(bench::Ms(t));
    }
    ListFind none;
    none.byNumber = true;
    none.userNo = 509;
    // Once: it reads the whole table.
    t.restart();
    FindInList(db, none, JoinMark{anyEvent(), 0}, true);
    missing.push_back(bench::Ms(t));

    set.CountRows();
    for (int i = 0; i < runs; ++i) {
        const QString at = moment();
        t.restart();
        if (const std::optional<qint64> event = EventAtDate(db, at))
            set.RowOfEvent(*event);
        gotoCounted.push_back(bench::Ms(t));
    }

    // The floor: a 32-row window by key on a statement prepared once.
    PreparedQuery q(db,
                    QStringLiteral("SELECT [EVENTS].[INDEX], [EVENTS].[TIMER], [EVENTS].[DATE], "
                                   "[EVENTS].[USER_NO], [USERS].[NAME] FROM ") +
                        set.GetDefaultSQL() +
                        QStringLiteral(" WHERE [EVENTS].[INDEX] >= ? ORDER BY [EVENTS].[INDEX], "
                                       "[USERS].[INDEX] LIMIT 32"));
    for (int i = 0; i < 1000; ++i) {
        t.restart();
        q.Exec({anyEvent()});
        while (q.Next())
            q.Value(4);
        window.push_back(bench::Ms(t));
    }
    std::printf("%.4f %.4f %.4f %.4f %.3f %.4f\n", bench::Median(gotoDate),
                bench::Median(gotoCounted), bench::Median(findNumber), bench::Median(findName),
                bench::Median(missing), bench::Median(window));
    return 0;
}
