// The PostgreSQL backend on a real server: the values it gives for every type
// the server sends and takes (as Qt's own driver gave them), its settings in
// the start-up packet, statements and transactions, what it tells of a
// failure (by SQLSTATE) and of a connection the server ended, and
// notifications from others and from itself.

#include "db/backend/dbexception.h"
#include "db/backend/pgconnection.h"
#include "db/backend/pglistener.h"
#include "db/backend/serverdb.h"
#include "db/location/location.h"
#include "tests/support/pgserver.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <ctime>

namespace {

// A value with its type, NaN equal to itself.
QString shown(const QVariant& v)
{
    const QString text =
        v.typeId() == QMetaType::QDateTime
            ? v.toDateTime().toString(Qt::ISODateWithMs) +
                  (v.toDateTime().isValid() ? QString() : QStringLiteral("invalid"))
            : v.toString();
    return QStringLiteral("%1 %2 %3")
        .arg(QLatin1String(v.typeName()), v.isNull() ? QStringLiteral("null") : QString(), text);
}

QVariant one(Connection& c, const QString& sql, const QVariantList& values = {})
{
    const auto statement = c.Prepare(sql);
    statement->Exec(values);
    return statement->Next() ? statement->Value(0) : QVariant(QStringLiteral("no row"));
}

// The kind of the failure work throws; -1 when it throws none.
int kindOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const CDBException& e) {
        return int(e.Kind());
    }
    return -1;
}

QDateTime local(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

} // namespace

class TestDbPgConnection : public QObject
{
    Q_OBJECT

    QString m_database;
    std::unique_ptr<PgConnection> m_db;

    Location location(const QString& options = {}, const QString& user = "postgres") const
    {
        return Location::Parse(testpg::Server::Instance().Uri(m_database, user) + options);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        testpg::Server& pg = testpg::Server::Instance();
        QVERIFY2(pg.IsRunning(), qPrintable(pg.Error()));
        m_database = pg.CreateDatabase();
        // A database whose own date style is not ISO: the backend sets its own.
        QCOMPARE(
            pg.Exec(
                QStringLiteral("postgres"),
                {QStringLiteral("ALTER DATABASE %1 SET DateStyle = 'SQL, DMY'").arg(m_database)}),
            QString());
        m_db = OpenServerConnection(location());
    }

    void valuesAsQtsDriverGaveThem_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<QVariant>("expected");
        const QVariantList none;
        const auto row = [&](const char* sql, const QVariant& expected,
                             const QVariantList& values = {}) {
            QTest::newRow(sql) << QString::fromUtf8(sql) << values << expected;
        };
        row("SELECT TIMESTAMP '2009-10-21 09:05:03'", local(2009, 10, 21, 9, 5, 3));
        row("SELECT TIMESTAMP '2020-07-01 12:00:00.5'", local(2020, 7, 1, 12, 0, 0, 500));
        row("SELECT TIMESTAMP '2020-07-01 12:00:00.123456'", local(2020, 7, 1, 12, 0, 0, 123));
        // The hour the spring change skips has no local time.
        row("SELECT TIMESTAMP '2020-03-29 02:30:00'", QDateTime());
        row("SELECT TIMESTAMPTZ '2020-07-01 12:00:00+02'", local(2020, 7, 1, 12, 0, 0));
        row("SELECT TIMESTAMPTZ '2020-01-01 23:30:00-05:30'", local(2020, 1, 2, 6, 0, 0));
        row("SELECT NULL::timestamp", QVariant(QMetaType::fromType<QDateTime>()));
        row("SELECT count(*) FROM generate_series(1, 3)", QVariant(qulonglong(3)));
        row("SELECT -5::int8", QVariant(qlonglong(-5)));
        row("SELECT 7::int2", QVariant(7));
        row("SELECT (-2147483648)::int4", QVariant(-2147483647 - 1));
        row("SELECT NULL::int4", QVariant(QMetaType::fromType<int>()));
        row("SELECT 1.25::numeric", QVariant(1.25));
        row("SELECT 'NaN'::float8", QVariant(std::nan("")));
        row("SELECT '-Infinity'::float8", QVariant(-HUGE_VAL));
        row("SELECT true", QVariant(true));
        row("SELECT NULL::bool", QVariant(QMetaType::fromType<bool>()));
        row("SELECT 'Zoë \"q\" ?'::text", QVariant(QStringLiteral("Zoë \"q\" ?")));
        row("SELECT ''::varchar", QVariant(QString(QLatin1String(""))));
        row("SELECT DATE '2020-01-02'", QVariant(QDate(2020, 1, 2)));
        row("SELECT TIME '12:00:01.25'", QVariant(QTime(12, 0, 1, 250)));
        row("SELECT '\\x00ff41'::bytea", QVariant(QByteArray("\0\xff"
                                                             "A",
                                                             3)));
        row("SELECT ?::text || '?'", QStringLiteral("it's ??"), {QStringLiteral("it's ?")});
        row("SELECT ?::int8 + ?::int4 + ?::float8", double((qlonglong(1) << 40) + 2) + 0.5,
            {qlonglong(1) << 40, 2, 0.5});
        row("SELECT coalesce(?::int4, -1)", -1, {QVariant()});
        row("SELECT NOT ?::bool", true, {false});
        row("SELECT ?::date + 1", QDate(2020, 2, 29), {QDate(2020, 2, 28)});
        row("SELECT length(?::bytea)", 4, {QByteArray("a\0b\\", 4)});
        row("SELECT ?::timestamp", local(2009, 10, 21, 9, 5, 3),
            {QStringLiteral("2009-10-21 09:05:03")});
        // The program's dates are the host's wall clock.
        row("SELECT ?::timestamp + interval '0 s'", local(2020, 7, 1, 12, 0, 5, 250),
            {local(2020, 7, 1, 12, 0, 5, 250)});
    }

    void valuesAsQtsDriverGaveThem()
    {
        QFETCH(QString, sql);
        QFETCH(QVariantList, values);
        QFETCH(QVariant, expected);
        QCOMPARE(shown(one(*m_db, sql, values)), shown(expected));
    }

    void startupSettingsKeepTheUsersOwn()
    {
        const auto db = OpenServerConnection(
            location(QStringLiteral("?options=-c%20work_mem%3D7MB&application_name=zq%20test")));
        const auto show = [&](const char* setting) {
            return one(*db, QStringLiteral("SHOW %1").arg(QLatin1String(setting))).toString();
        };
        QCOMPARE(show("work_mem"), QStringLiteral("7MB"));
        QCOMPARE(show("application_name"), QStringLiteral("zq test"));
        QVERIFY(show("DateStyle").startsWith(QLatin1String("ISO")));
        QCOMPARE(show("client_encoding"), QStringLiteral("UTF8"));
    }

    // Statements, their rows affected, transactions; a failed transaction's
    // commit says that the server rolled it back.
    void statementsAndTransactions()
    {
        m_db->Execute("CREATE TEMP TABLE t (n serial, v int UNIQUE)");
        const auto insert = m_db->Prepare(QStringLiteral("INSERT INTO t (v) VALUES (?)"));
        insert->Exec({5});
        QCOMPARE(insert->RowsAffected(), qint64(1));
        m_db->Begin();
        insert->Exec({6});
        m_db->Rollback();
        m_db->Begin();
        QCOMPARE(kindOf([&] { insert->Exec({5}); }), int(DbFailure::Other));
        try {
            m_db->Commit();
            QFAIL("a failed transaction was committed");
        } catch (const CDBException& e) {
            QCOMPARE(e.m_strError,
                     QStringLiteral("The transaction was rolled back by the server."));
        }
        QCOMPARE(one(*m_db, QStringLiteral("SELECT count(*) FROM t")).toInt(), 1);
        PgRows rows = m_db->Query("SELECT v FROM t WHERE v > ?", {0});
        QVERIFY(rows.Next());
        QCOMPARE(rows.Int64(0), qint64(5));
        QVERIFY(!rows.Next());
    }

    // The kinds of failure, told by SQLSTATE whatever the server's words; a
    // lock is held by another connection meanwhile.
    void failuresByCode_data()
    {
        QTest::addColumn<QStringList>("setUp");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("kind");
        QTest::newRow("no such table")
            << QStringList() << "SELECT * FROM nowhere" << int(DbFailure::Other);
        QTest::newRow("no permission") << QStringList{"SET ROLE zq_secret"}
                                       << "SELECT * FROM secret" << int(DbFailure::Denied);
        QTest::newRow("cancelled") << QStringList{"SET statement_timeout = 50"}
                                   << "SELECT pg_sleep(5)" << int(DbFailure::Cancelled);
        QTest::newRow("lock not available")
            << QStringList{"BEGIN"} << "LOCK TABLE held NOWAIT" << int(DbFailure::Locked);
        QTest::newRow("read-only transaction")
            << QStringList{"BEGIN READ ONLY"} << "CREATE TABLE nothing (n int)"
            << int(DbFailure::ReadOnly);
    }

    void failuresByCode()
    {
        QFETCH(QStringList, setUp);
        QFETCH(QString, sql);
        QFETCH(int, kind);
        m_db->Execute(
            "CREATE TABLE IF NOT EXISTS held (n int); "
            "CREATE TABLE IF NOT EXISTS secret (n int); REVOKE ALL ON secret FROM PUBLIC");
        m_db->Begin();
        m_db->Execute("LOCK TABLE held");
        const auto db = OpenServerConnection(location());
        for (const QString& s : setUp)
            db->Execute(s.toUtf8());
        QCOMPARE(kindOf([&] { db->Execute(sql.toUtf8()); }), kind);
        m_db->Rollback();
    }

    void connectionFailures()
    {
        QCOMPARE(kindOf([&] { OpenServerConnection(location({}, QStringLiteral("zq_secret"))); }),
                 int(DbFailure::PasswordNeeded));
        Location wrong = location({}, QStringLiteral("zq_secret"));
        wrong.SetPassword(QStringLiteral("wrong"));
        QCOMPARE(kindOf([&] { OpenServerConnection(wrong); }), int(DbFailure::PasswordRefused));
        const Location nowhere =
            Location::Parse(QStringLiteral("postgresql://postgres@127.0.0.1:%1/x?connect_timeout=2")
                                .arg(testpg::FreePort()));
        QCOMPARE(kindOf([&] { OpenServerConnection(nowhere); }), int(DbFailure::Unreachable));
    }

    void notificationsFromOthersAndItself()
    {
        PgListener* listener = m_db->Listen(QStringLiteral("zq_changes"));
        QSignalSpy told(listener, &PgListener::Notified);
        QCOMPARE(testpg::Server::Instance().Exec(m_database,
                                                 {QStringLiteral("NOTIFY zq_changes, 'public'")}),
                 QString());
        QTRY_COMPARE(told.size(), 1);
        QCOMPARE(told[0][1].toString(), QStringLiteral("public"));
        QCOMPARE(told[0][2].toBool(), false);
        // One the library read while a statement of its own ran.
        m_db->Execute("NOTIFY zq_changes, 'self'");
        QTRY_COMPARE(told.size(), 2);
        QCOMPARE(told[1][2].toBool(), true);
        m_db->Unlisten(QStringLiteral("zq_changes"));
        QVERIFY(!listener->IsListening(QStringLiteral("zq_changes")));
    }

    // The server ends the connection: a statement says so, and so does one
    // made before; a listener is told the connection was lost.
    void aConnectionTheServerEndedIsLost()
    {
        const auto db = OpenServerConnection(location());
        const auto prepared = db->Prepare(QStringLiteral("SELECT ?::int"));
        QSignalSpy lost(db->Listen(QStringLiteral("zq_changes")), &PgListener::Lost);
        const QString pid = one(*db, QStringLiteral("SELECT pg_backend_pid()")).toString();
        QCOMPARE(testpg::Server::Instance().Exec(
                     m_database, {QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid)}),
                 QString());
        QCOMPARE(kindOf([&] { db->Execute("SELECT 1"); }), int(DbFailure::ConnectionLost));
        QVERIFY(!db->IsOpen());
        QVERIFY(!db->Loss().isEmpty());
        try {
            prepared->Exec({1});
            QFAIL("a statement ran on a lost connection");
        } catch (const CDBException& e) {
            QVERIFY(!e.m_strError.isEmpty());
        }
        QTRY_COMPARE(lost.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestDbPgConnection)
#include "test_db_pgconnection.moc"
