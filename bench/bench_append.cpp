// Appending a full download (6144 events) to a copy of a database, three
// ways: AppendEventBatch as ZQreader does it; the floor, one transaction
// with a prepared statement through the SQLite C API, the texts made
// beforehand; and each row in a transaction of its own (timed on the first
// 256 rows and scaled to 6144). Each run starts from a fresh copy. Prints one
// line per run and way: WAY <tab> MILLISECONDS.
// Usage: bench_append BASE_DB WORK_FOLDER RUNS [WAY...]

#include "bench/benchcommon.h"
#include "db/backend/dbexception.h"
#include "db/backend/processsetup.h"
#include "db/record/database.h"
#include "db/record/events.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <sqlite3.h>

namespace {

constexpr int kEvents = 6144;
constexpr int kAutocommitSample = 256;

double zqreader(const QString& path, const QVector<NewEvent>& events)
{
    CDatabase db;
    db.OpenFile(path);
    CEVENTS record(&db);
    record.Open();
    QElapsedTimer t;
    t.start();
    AppendEventBatch(record, events);
    return t.nsecsElapsed() / 1e6;
}

double capi(const QString& path, QVector<NewEvent> events, bool oneTransaction)
{
    // A transaction a row waits for the disk at every row: a sample of the
    // rows, the time scaled up to all of them.
    const qsizetype all = events.size();
    if (!oneTransaction)
        events.resize(kAutocommitSample);
    struct Row
    {
        int timer;
        QByteArray date;
        int userNo;
        QByteArray button;
    };
    QVector<Row> rows;
    for (const NewEvent& e : events)
        rows.append({e.timer, e.date.ToDbText().toUtf8(), e.userNo, e.button.toUtf8()});
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
        throw CDBException(QStringLiteral("cannot open ") + path);
    QElapsedTimer t;
    t.start();
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO [EVENTS] ([TIMER], [DATE], [USER_NO], [BUTTON]) VALUES (?, "
                       "?, ?, ?)",
                       -1, &insert, nullptr);
    if (oneTransaction)
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (const Row& r : rows) {
        sqlite3_bind_int(insert, 1, r.timer);
        sqlite3_bind_text(insert, 2, r.date.constData(), int(r.date.size()), SQLITE_STATIC);
        sqlite3_bind_int(insert, 3, r.userNo);
        sqlite3_bind_text(insert, 4, r.button.constData(), int(r.button.size()), SQLITE_STATIC);
        if (sqlite3_step(insert) != SQLITE_DONE)
            throw CDBException(QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (oneTransaction && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw CDBException(QString::fromUtf8(sqlite3_errmsg(db)));
    const double ms = t.nsecsElapsed() / 1e6 * double(all) / double(events.size());
    sqlite3_close(db);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    SetUpProcess();
    QCoreApplication app(argc, argv);
    if (argc < 4 || QByteArray(argv[3]).toInt() <= 0) {
        std::fprintf(stderr, "usage: bench_append BASE_DB WORK_FOLDER RUNS [WAY...]\n");
        return 2;
    }
    const QString base = QFile::decodeName(argv[1]);
    const QString work = QDir(QFile::decodeName(argv[2])).filePath(QStringLiteral("append.db"));
    const int runs = QByteArray(argv[3]).toInt();
    const QVector<NewEvent> events = bench::MakeEvents(kEvents);
    const char* ways[] = {"zqreader", "floor", "autocommit"};
    QByteArrayList chosen;
    for (int i = 4; i < argc; ++i)
        chosen << argv[i];
    try {
        for (int run = 0; run < runs; ++run) {
            for (const char* way : ways) {
                if (!chosen.isEmpty() && !chosen.contains(way))
                    continue;
                QFile::remove(work);
                if (!QFile::copy(base, work) ||
                    !QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner)) {
                    std::fprintf(stderr, "bench_append: cannot copy %s\n", argv[1]);
                    return 1;
                }
                const double ms = way == ways[0]   ? zqreader(work, events)
                                  : way == ways[1] ? capi(work, events, true)
                                                   : capi(work, events, false);
                std::printf("%s\t%.3f\n", way, ms);
                std::fflush(stdout);
            }
        }
    } catch (const CDBException& e) {
        std::fprintf(stderr, "bench_append: %s\n", qUtf8Printable(e.m_strError));
        return 1;
    }
    QFile::remove(work);
    return 0;
}
