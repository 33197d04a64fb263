// Go to Date and Find within a filter of the list on a real database: the
// time from a moment (or a row) to the event shown, with a filter of two user
// numbers (about 1% of the events) and with one of a user number in 30 hours
// (about ten events, in the middle of the log), beside the same without a
// filter. Find looks for the next event of number 5, which each filter lets
// through, from a random event. Prints the medians, in ms: go to date unfiltered, 1%, ten
// rows; find unfiltered, 1%, ten rows.
// Usage: bench_seekfilter DB [RUNS]

#include "bench/benchcommon.h"
#include "db/backend/processsetup.h"
#include "db/listseek.h"
#include "db/location/location.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <cstdio>
#include <vector>

namespace {

const QString kStoredFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QDateTime stored(const QString& text)
{
    QDateTime t = QDateTime::fromString(text.left(19), kStoredFormat);
    t.setTimeSpec(Qt::UTC);
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    SetUpProcess();
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_seekfilter DB [RUNS]\n");
        return 2;
    }
    const QString path = QFile::decodeName(argv[1]);
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 50;

    CDatabase db;
    db.Open(Location::Parse(path));
    PreparedQuery range(db,
                        QStringLiteral("SELECT MIN(DATE), MAX(DATE), MIN([INDEX]), MAX([INDEX]), "
                                       "(SELECT [DATE] FROM [EVENTS] WHERE [INDEX] >= (SELECT "
                                       "max([INDEX]) / 2 FROM [EVENTS]) ORDER BY [INDEX] LIMIT "
                                       "1) FROM EVENTS"));
    range.Exec();
    range.Next();
    const QDateTime from = stored(range.Value(0).toString());
    const qint64 seconds = from.secsTo(stored(range.Value(1).toString()));
    const qint64 firstEvent = range.Int64(2);
    const qint64 lastEvent = range.Int64(3);
    const QDateTime middle = stored(range.Value(4).toString());
    range.Finish();

    EventFilter onePercent;
    onePercent.userNos = {5, 6};
    EventFilter fewRows; // as bench_filter's
    fewRows.userNos = {5};
    fewRows.from = middle.toString(kStoredFormat);
    fewRows.to = middle.addSecs(30 * 3600).toString(kStoredFormat);
    const EventFilter filters[] = {EventFilter(), onePercent, fewRows};

    QRandomGenerator random(11);
    std::vector<double> gotoDate[3];
    std::vector<double> find[3];
    QElapsedTimer t;
    for (int i = 0; i < runs; ++i) {
        const QString at =
            from.addSecs(qint64(random.bounded(double(seconds + 1)))).toString(kStoredFormat);
        const JoinMark start{
            firstEvent + qint64(random.bounded(double(lastEvent - firstEvent + 1))), 0};
        ListFind number;
        number.byNumber = true;
        number.userNo = 5; // let through by each filter
        for (int f = 0; f < 3; ++f) {
            t.start();
            EventAtDate(db, at, filters[f]);
            gotoDate[f].push_back(bench::Ms(t));
            t.restart();
            FindInList(db, number, start, true, false, filters[f]);
            find[f].push_back(bench::Ms(t));
        }
    }
    std::printf("%.4f %.4f %.4f %.4f %.4f %.4f\n", bench::Median(gotoDate[0]),
                bench::Median(gotoDate[1]), bench::Median(gotoDate[2]), bench::Median(find[0]),
                bench::Median(find[1]), bench::Median(find[2]));
    return 0;
}
