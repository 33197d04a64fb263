// The program's PostgreSQL driver against Qt's own on the same server: the
// same values for every type the server sends, the same results for values
// bound, and what it does on its own (settings in the start-up packet,
// failed commits, notifications, a connection the server ended).

#include "db/backend/serverdriver.h"
#include "tests/support/pgserver.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <cmath>
#include <ctime>

namespace {

QSqlDatabase openWith(const QString& driver, const QString& name, const QString& database,
                      const QString& options = {})
{
    const testpg::Server& pg = testpg::Server::Instance();
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
    db.setHostName(QStringLiteral("127.0.0.1"));
    db.setPort(pg.Port());
    db.setDatabaseName(database);
    db.setUserName(QStringLiteral("postgres"));
    db.setConnectOptions(options);
    db.open();
    return db;
}

// A value with its type, NaN equal to itself.
QString shown(const QVariant& v)
{
    const QString text = v.typeId() == QMetaType::QDateTime
                             ? v.toDateTime().toString(Qt::ISODateWithMs) +
                                   QString::number(int(v.toDateTime().timeSpec()))
                             : v.toString();
    return QStringLiteral("%1 %2 %3")
        .arg(QLatin1String(v.typeName()), v.isNull() ? QStringLiteral("null") : QString(), text);
}

} // namespace

class TestDbServerDriver : public QObject
{
    Q_OBJECT

    QString m_database;

    static QVariant one(QSqlDatabase db, const QString& sql, QSql::NumericalPrecisionPolicy policy,
                        const QVariantList& values = {})
    {
        QSqlQuery q(db);
        q.setNumericalPrecisionPolicy(policy);
        if (!(values.isEmpty() ? q.exec(sql)
                               : (q.prepare(sql) &&
                                  [&] {
                                      for (const QVariant& v : values)
                                          q.addBindValue(v);
                                      return q.exec();
                                  }())) ||
            !q.next())
            return QStringLiteral("error: ") + q.lastError().text();
        return q.value(0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        testpg::Server& pg = testpg::Server::Instance();
        QVERIFY2(pg.IsRunning(), qPrintable(pg.Error()));
        m_database = pg.CreateDatabase();
        // A database whose own date style is not ISO: the driver sets its own.
        QCOMPARE(
            pg.Exec(
                QStringLiteral("postgres"),
                {QStringLiteral("ALTER DATABASE %1 SET DateStyle = 'SQL, DMY'").arg(m_database)}),
            QString());
        ServerDriver::Register();
        QVERIFY(openWith(QStringLiteral("QPSQL"), QStringLiteral("qt"), m_database).isOpen());
        QVERIFY(openWith(ServerDriver::Name(), QStringLiteral("own"), m_database).isOpen());
    }

    void valuesAsQtsDriverGivesThem_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVariantList>("values");
        const QVariantList none;
        for (const char* sql : {"SELECT TIMESTAMP '2009-10-21 09:05:03'",
                                "SELECT TIMESTAMP '2020-07-01 12:00:00.5'",
                                "SELECT TIMESTAMP '2020-07-01 12:00:00.123456'",
                                "SELECT TIMESTAMP '2020-10-25 02:30:00'",
                                "SELECT TIMESTAMP '1899-12-30 00:00:00'",
                                "SELECT TIMESTAMPTZ '2020-07-01 12:00:00+02'",
                                "SELECT TIMESTAMPTZ '2020-01-01 23:30:00-05:30'",
                                "SELECT NULL::timestamp",
                                "SELECT count(*) FROM generate_series(1, 3)",
                                "SELECT -5::int8",
                                "SELECT 7::int2",
                                "SELECT (-2147483648)::int4",
                                "SELECT NULL::int4",
                                "SELECT 1.25::numeric",
                                "SELECT 'NaN'::float8",
                                "SELECT '-Infinity'::float8",
                                "SELECT 0.1::float4",
                                "SELECT true",
                                "SELECT NULL::bool",
                                "SELECT 'Zoë \"q\" ?'::text",
                                "SELECT ''::varchar",
                                "SELECT DATE '2020-01-02'",
                                "SELECT TIME '12:00:01.25'",
                                "SELECT '\\x00ff41'::bytea"})
            QTest::newRow(sql) << QString::fromUtf8(sql) << none;
        QTest::newRow("bound text, quotes and ?")
            << QStringLiteral("SELECT ?::text || '?'") << QVariantList{QStringLiteral("it's ?")};
        QTest::newRow("bound numbers") << QStringLiteral("SELECT ?::int8 + ?::int4 + ?::float8")
                                       << QVariantList{qlonglong(1) << 40, 2, 0.5};
        QTest::newRow("bound null")
            << QStringLiteral("SELECT coalesce(?::int4, -1)") << QVariantList{QVariant()};
        QTest::newRow("bound bool") << QStringLiteral("SELECT NOT ?::bool") << QVariantList{false};
        QTest::newRow("bound date")
            << QStringLiteral("SELECT ?::date + 1") << QVariantList{QDate(2020, 2, 28)};
        QTest::newRow("bound bytes")
            << QStringLiteral("SELECT length(?::bytea)") << QVariantList{QByteArray("a\0b\\", 4)};
        QTest::newRow("bound text to a timestamp")
            << QStringLiteral("SELECT ?::timestamp")
            << QVariantList{QStringLiteral("2009-10-21 09:05:03")};
    }

    void valuesAsQtsDriverGivesThem()
    {
        QFETCH(QString, sql);
        QFETCH(QVariantList, values);
        for (const QSql::NumericalPrecisionPolicy policy :
             {QSql::LowPrecisionDouble, QSql::HighPrecision, QSql::LowPrecisionInt64}) {
            const QVariant theirs =
                one(QSqlDatabase::database(QStringLiteral("qt")), sql, policy, values);
            const QVariant ours =
                one(QSqlDatabase::database(QStringLiteral("own")), sql, policy, values);
            QCOMPARE(shown(ours), shown(theirs));
        }
    }

    void boundDateTimeIsTheHostsWallClock()
    {
        // Qt's driver sends the UTC time as if it were local; the program's
        // dates are the host's wall clock.
        const QVariant v = one(QSqlDatabase::database(QStringLiteral("own")),
                               QStringLiteral("SELECT ?::timestamp"), QSql::LowPrecisionDouble,
                               {QDateTime(QDate(2020, 7, 1), QTime(12, 0, 5, 250))});
        QCOMPARE(v.toDateTime(), QDateTime(QDate(2020, 7, 1), QTime(12, 0, 5, 250)));
    }

    void startupSettingsKeepTheUsersOwn()
    {
        QSqlDatabase db = openWith(ServerDriver::Name(), QStringLiteral("options"), m_database,
                                   QStringLiteral("options='-c work_mem=7MB';"
                                                  "application_name='zq test'"));
        QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
        const auto show = [&](const char* setting) {
            return one(db, QStringLiteral("SHOW %1").arg(QLatin1String(setting)),
                       QSql::LowPrecisionDouble)
                .toString();
        };
        QCOMPARE(show("work_mem"), QStringLiteral("7MB"));
        QCOMPARE(show("application_name"), QStringLiteral("zq test"));
        QVERIFY(show("DateStyle").startsWith(QLatin1String("ISO")));
        QCOMPARE(show("client_encoding"), QStringLiteral("UTF8"));
    }

    void errorsAndTransactions()
    {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("own"));
        QSqlQuery q(db);
        QVERIFY(!q.exec(QStringLiteral("SELECT nothing FROM nowhere")));
        QCOMPARE(q.lastError().nativeErrorCode(), QStringLiteral("42P01"));
        QVERIFY(q.lastError().databaseText().contains(QLatin1String("\"nowhere\" does not exist")));
        QVERIFY(!q.prepare(QStringLiteral("SELEC ?")));
        QCOMPARE(q.lastError().nativeErrorCode(), QStringLiteral("42601"));

        QVERIFY(q.exec(QStringLiteral("CREATE TEMP TABLE t (n serial, v int UNIQUE)")));
        QVERIFY(q.prepare(QStringLiteral("INSERT INTO t (v) VALUES (?)")));
        q.addBindValue(5);
        QVERIFY(q.exec());
        QCOMPARE(q.numRowsAffected(), 1);
        QCOMPARE(q.lastInsertId().toLongLong(), 1);
        QVERIFY(db.transaction());
        q.addBindValue(6);
        QVERIFY(q.exec());
        QVERIFY(db.rollback());
        // A transaction that failed on the way is not reported committed.
        QVERIFY(db.transaction());
        q.addBindValue(5);
        QVERIFY(!q.exec());
        QVERIFY(!db.commit());
        QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM t")) && q.next());
        QCOMPARE(q.value(0).toInt(), 1);
    }

    void notificationsFromOthersAndItself()
    {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("own"));
        QSqlDriver* driver = db.driver();
        QSignalSpy told(driver, &QSqlDriver::notification);
        QVERIFY(driver->subscribeToNotification(QStringLiteral("zq_changes")));
        QCOMPARE(driver->subscribedToNotifications(), QStringList{QStringLiteral("zq_changes")});
        QCOMPARE(testpg::Server::Instance().Exec(m_database,
                                                 {QStringLiteral("NOTIFY zq_changes, 'public'")}),
                 QString());
        QTRY_COMPARE(told.size(), 1);
        QCOMPARE(told[0][1].value<QSqlDriver::NotificationSource>(), QSqlDriver::OtherSource);
        QCOMPARE(told[0][2].toString(), QStringLiteral("public"));
        // One the library read while a statement of its own ran.
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("NOTIFY zq_changes, 'self'")));
        QTRY_COMPARE(told.size(), 2);
        QCOMPARE(told[1][1].value<QSqlDriver::NotificationSource>(), QSqlDriver::SelfSource);
        QVERIFY(driver->unsubscribeFromNotification(QStringLiteral("zq_changes")));
        QVERIFY(driver->subscribedToNotifications().isEmpty());
    }

    void aConnectionTheServerEndedIsClosed()
    {
        QSqlDatabase db = openWith(ServerDriver::Name(), QStringLiteral("ended"), m_database);
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("SELECT pg_backend_pid()")) && q.next());
        const QString pid = q.value(0).toString();
        QSqlQuery prepared(db);
        QVERIFY(prepared.prepare(QStringLiteral("SELECT ?::int")));
        QCOMPARE(testpg::Server::Instance().Exec(
                     m_database, {QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid)}),
                 QString());
        QVERIFY(!q.exec(QStringLiteral("SELECT 1")));
        QVERIFY(!db.isOpen());
        // A statement prepared before says why it cannot run.
        prepared.addBindValue(1);
        QVERIFY(!prepared.exec());
        QVERIFY(!prepared.lastError().databaseText().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDbServerDriver)
#include "test_db_serverdriver.moc"
