// The statement layer under every database: the numbering of values for
// PostgreSQL, the kinds of failure SQLite's codes tell on real files, and
// statements that outlive their connection.

#include "db/backend/dbexception.h"
#include "db/backend/placeholders.h"
#include "db/backend/sqliteconnection.h"
#include "db/location/nativename.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <sys/resource.h>
#include <thread>

namespace {

struct Failure
{
    int kind = -1; // -1: none
    QString message;
};

Failure failureOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const CDBException& e) {
        return {int(e.Kind()), e.m_strError};
    }
    return {};
}

} // namespace

class TestDbBackend : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QByteArray uri(const char* name) const
    {
        return SqliteNativeUri(QFile::encodeName(m_dir.filePath(QLatin1String(name)))).toUtf8();
    }

    std::unique_ptr<SqliteConnection> table(const char* name) const
    {
        auto db = SqliteConnection::Open(uri(name));
        db->Execute("CREATE TABLE IF NOT EXISTS t (v)");
        return db;
    }

private Q_SLOTS:
    void placeholdersAreNumberedOutsideQuotesAndComments_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("numbered");
        QTest::addColumn<int>("count");
        const auto row = [](const char* sql, const char* numbered, int count) {
            QTest::newRow(sql) << QString::fromUtf8(sql) << QString::fromUtf8(numbered) << count;
        };
        row("SELECT ?, ?", "SELECT $1, $2", 2);
        row("SELECT '?', ?", "SELECT '?', $1", 1);
        row("SELECT 'it''s ?', ?", "SELECT 'it''s ?', $1", 1);
        row("SELECT E'\\' ?', ?", "SELECT E'\\' ?', $1", 1);
        row("SELECT e'\\\\', ?", "SELECT e'\\\\', $1", 1);
        row("SELECT name'?', ?", "SELECT name'?', $1", 1); // no E: a plain string
        row("SELECT \"a?\"\"?\" FROM t WHERE v = ?", "SELECT \"a?\"\"?\" FROM t WHERE v = $1", 1);
        row("SELECT ? -- what?\n, ?", "SELECT $1 -- what?\n, $2", 2);
        row("SELECT ? /* a? /* b? */ c? */, ?", "SELECT $1 /* a? /* b? */ c? */, $2", 2);
        row("SELECT $$ ? $$, ?", "SELECT $$ ? $$, $1", 1);
        row("SELECT $f$ ?$$? $f$, ?", "SELECT $f$ ?$$? $f$, $1", 1);
        row("SELECT a$b, ?", "SELECT a$b, $1", 1);
        row("SELECT $1 + ?", "SELECT $1 + $1", 1);
        row("SELECT 'Zoë ?', ?", "SELECT 'Zoë ?', $1", 1);
        row("SELECT '?", "SELECT '?", 0); // unterminated: all of it quoted
    }

    void placeholdersAreNumberedOutsideQuotesAndComments()
    {
        QFETCH(QString, sql);
        QFETCH(QString, numbered);
        QFETCH(int, count);
        int n = -1;
        QCOMPARE(QString::fromUtf8(NumberedPlaceholders(sql, &n)), numbered);
        QCOMPARE(n, count);
    }

    // Each kind of failure as SQLite's result code (and the system's error
    // behind it) tells it, on a real file.
    void sqliteFailuresAreToldByCode()
    {
        QVERIFY(m_dir.isValid());
        const auto writer = table("locked.db");
        QFile junk(m_dir.filePath(QStringLiteral("junk.db")));
        QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write(QByteArray(4096, 'x')) == 4096);
        junk.close();
        const struct
        {
            const char* name;
            std::function<void()> work;
            DbFailure kind;
            QString message; // empty: SQLite's own words
        } cases[] = {
            {"locked",
             [&] {
                 writer->Execute("BEGIN EXCLUSIVE");
                 SqliteConnection::Open(uri("locked.db"), false, 0)->Execute("SELECT * FROM t");
             },
             DbFailure::Locked,
             {}},
            {"not a database",
             [&] {
                 SqliteConnection::Open(uri("junk.db"))->Execute("SELECT * FROM sqlite_master");
             },
             DbFailure::Damaged,
             {}},
            {"read-only",
             [&] {
                 table("readonly.db");
                 SqliteConnection::Open(uri("readonly.db"), true)
                     ->Execute("INSERT INTO t VALUES (1)");
             },
             DbFailure::ReadOnly,
             {}},
            {"beyond the file size limit",
             [&] {
                 const auto big = table("big.db");
                 rlimit before{};
                 ::getrlimit(RLIMIT_FSIZE, &before);
                 rlimit small = before;
                 small.rlim_cur = 64 * 1024;
                 ::setrlimit(RLIMIT_FSIZE, &small);
                 const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &before); });
                 big->Execute("INSERT INTO t VALUES (zeroblob(1000000))");
             },
             DbFailure::FileTooLarge, QStringLiteral("File too large")},
            {"cancelled",
             [&] {
                 const auto db = table("cancelled.db");
                 const auto cancel = db->MakeCancel();
                 std::thread stop([&] {
                     std::this_thread::sleep_for(std::chrono::milliseconds(100));
                     cancel->Cancel();
                 });
                 const auto guard = qScopeGuard([&] { stop.join(); });
                 db->Execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                             "SELECT count(*) FROM n");
             },
             DbFailure::Cancelled,
             {}},
        };
        for (const auto& c : cases) {
            const Failure failure = failureOf(c.work);
            QVERIFY2(failure.kind == int(c.kind), c.name);
            QVERIFY2(c.message.isEmpty() || failure.message == c.message,
                     qPrintable(failure.message));
        }
        writer->Rollback();
    }

    // A statement kept past its connection says so when it runs again.
    void aStatementOutlivesItsConnection()
    {
        auto db = table("kept.db");
        const auto kept = db->Prepare(QStringLiteral("SELECT count(*) FROM t"));
        kept->Exec(QVariantList());
        QVERIFY(kept->Next());
        db.reset();
        const Failure failure = failureOf([&] { kept->Exec(QVariantList()); });
        QCOMPARE(failure.message, QStringLiteral("The database is not connected."));
    }
};

QTEST_GUILESS_MAIN(TestDbBackend)
#include "test_db_backend.moc"
