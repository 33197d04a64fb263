// Appending a full download (6144 events) to a server database, two ways:
// AppendEventBatch as ZQreader does it, and the floor, the same rows as one
// multi-row INSERT through the client library on a connection of its own, in
// one transaction. After each
// run the rows it added are deleted again. Prints one line per run and way:
// WAY <tab> MILLISECONDS.
// Usage: bench_pgappend POSTGRESQL_URI RUNS

#include "bench/benchcommon.h"
#include "db/backend/dbexception.h"
#include "db/backend/processsetup.h"
#include "db/record/database.h"
#include "db/record/events.h"
#include "db/record/preparedquery.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <libpq-fe.h>
#include <memory>

namespace {

constexpr int kEvents = 6144;

void exec(PGconn* conn, const QByteArray& sql)
{
    PGresult* result = PQexec(conn, sql.constData());
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    if (!ok)
        throw CDBException(QString::fromUtf8(PQerrorMessage(conn)));
}

double zqreader(CDatabase& db, const QVector<NewEvent>& events)
{
    CEVENTS record(&db);
    record.Open();
    QElapsedTimer t;
    t.start();
    AppendEventBatch(record, events);
    return bench::Ms(t);
}

double floor(PGconn* conn, const QVector<NewEvent>& events)
{
    // The statement's text is made beforehand, as a client would have it.
    QByteArray sql =
        "INSERT INTO \"EVENTS\" (\"TIMER\", \"DATE\", \"USER_NO\", \"BUTTON\") VALUES ";
    for (const NewEvent& e : events)
        sql += QStringLiteral("%1(%2, '%3', %4, '%5')")
                   .arg(&e == events.data() ? "" : ", ")
                   .arg(e.timer)
                   .arg(e.date.ToDbText())
                   .arg(e.userNo)
                   .arg(e.button)
                   .toUtf8();
    QElapsedTimer t;
    t.start();
    exec(conn, "BEGIN");
    exec(conn, sql);
    exec(conn, "COMMIT");
    return bench::Ms(t);
}

} // namespace

int main(int argc, char** argv)
{
    SetUpProcess();
    QCoreApplication app(argc, argv);
    if (argc != 3 || QByteArray(argv[2]).toInt() <= 0) {
        std::fprintf(stderr, "usage: bench_pgappend POSTGRESQL_URI RUNS\n");
        return 2;
    }
    const int runs = QByteArray(argv[2]).toInt();
    const QVector<NewEvent> events = bench::MakeEvents(kEvents);
    try {
        CDatabase db;
        db.Open(Location::Parse(QString::fromUtf8(argv[1])));
        if (!db.Server())
            throw CDBException(QStringLiteral("not a server database"));
        const std::unique_ptr<PGconn, void (*)(PGconn*)> own(PQconnectdb(argv[1]), PQfinish);
        PGconn* conn = own.get();
        if (PQstatus(conn) != CONNECTION_OK)
            throw CDBException(QString::fromUtf8(PQerrorMessage(conn)));
        PreparedQuery last(db, QStringLiteral("SELECT max([INDEX]) FROM [EVENTS]"));
        last.Exec();
        if (!last.Next())
            throw CDBException(QStringLiteral("no events"));
        const QByteArray before = QByteArray::number(last.Int64(0));
        last.Finish();
        for (int run = 0; run < runs; ++run) {
            std::printf("zqreader\t%.3f\n", zqreader(db, events));
            exec(conn, "DELETE FROM \"EVENTS\" WHERE \"INDEX\" > " + before);
            std::printf("floor\t%.3f\n", floor(conn, events));
            exec(conn, "DELETE FROM \"EVENTS\" WHERE \"INDEX\" > " + before);
            std::fflush(stdout);
        }
    } catch (const CDBException& e) {
        std::fprintf(stderr, "bench_pgappend: %s\n", qUtf8Printable(e.m_strError));
        return 1;
    }
    return 0;
}
