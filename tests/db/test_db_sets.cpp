// The event record and the joined event set on real databases: every test
// runs on an SQLite file and on a PostgreSQL server database.

#include "db/backend/dbexception.h"
#include "db/backend/serverdb.h"
#include "db/backend/sqlitehandle.h"
#include "db/joinstamp.h"
#include "db/joinstream.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/record/events.h"
#include "db/zq6set.h"
#include "tests/support/pgserver.h"
#include "tests/support/testdb.h"

#include <QTemporaryDir>
#include <QTest>
#include <ctime>
#include <sqlite3.h>

namespace {

QString user(const char* name, int userNo, const char* start, const char* stop)
{
    return QStringLiteral("INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                          "VALUES ('%1', %2, '%3', '%4')")
        .arg(QLatin1String(name))
        .arg(userNo)
        .arg(QLatin1String(start), QLatin1String(stop));
}

QString addEvent(int userNo, const char* date, int timer = 1)
{
    return QStringLiteral("INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) "
                          "VALUES (%1, '%2', %3, '0')")
        .arg(timer)
        .arg(QLatin1String(date))
        .arg(userNo);
}

// Two users of number 7, Bob's period inside Alice's; an event in Alice's
// period alone, then one in both.
QStringList overlappingPeriods()
{
    return {user("Alice", 7, "2009-01-01 00:00:00", "2010-01-01 00:00:00"),
            user("Bob", 7, "2009-06-01 00:00:00", "2009-12-01 00:00:00"),
            addEvent(7, "2009-03-01 00:00:00"), addEvent(7, "2009-10-21 09:05:03")};
}

struct Row
{
    int index;
    QString name;
    bool operator==(const Row& o) const { return index == o.index && name == o.name; }
};

char* toString(const Row& r)
{
    return QTest::toString(QStringLiteral("(%1 %2)").arg(r.index).arg(r.name));
}

// Every row of the set through its cursor.
QVector<Row> walk(CZq6Set& set)
{
    QVector<Row> rows;
    for (set.MoveFirst(); !set.IsEOF(); set.MoveNext())
        rows.append({set.m_INDEX, set.m_NAME});
    return rows;
}

QVector<Row> window(CZq6Set& set, qint64 first, int count)
{
    QVector<Row> rows;
    for (const JoinedRow& r : set.FetchRows(first, count))
        rows.append({r.eventIndex, r.name});
    return rows;
}

} // namespace

class TestDbSets : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path; // a file path or a server location
    CDatabase m_db;

    bool onServer() const { return Location::Parse(m_path).IsServer(); }

    void openSet(CZq6Set& set)
    {
        m_db.Open(Location::Parse(m_path));
        set.m_strSort = QStringLiteral("[EVENTS].[INDEX], [USERS].[INDEX]");
        set.Open(CRecordset::dynaset);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QVERIFY(m_dir.isValid());
    }

    void initTestCase_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgresql") << true;
    }

    void init()
    {
        QFETCH_GLOBAL(bool, server);
        if (server) {
            testpg::Server& pg = testpg::Server::Instance();
            QVERIFY2(pg.IsRunning(), qPrintable(pg.Error()));
            m_path = pg.Uri(pg.CreateDatabase());
            CreateServerTables(Location::Parse(m_path));
            return;
        }
        m_path = m_dir.filePath(QStringLiteral("%1.db").arg(QTest::currentTestFunction()));
        QVERIFY(testdb::copyTemplate(m_path));
    }

    void cleanup() { m_db.Close(); }

    void joinMatchesOnlyStrictlyInsideThePeriod()
    {
        QCOMPARE(
            testdb::exec(m_path,
                         {user("Alice", 7, "2009-10-01 00:00:00", "2009-10-31 00:00:00"),
                          addEvent(7, "2009-10-01 00:00:00"), // at the start
                          addEvent(7, "2009-10-01 00:00:01"), addEvent(7, "2009-10-30 23:59:59"),
                          addEvent(7, "2009-10-31 00:00:00"),   // at the stop
                          addEvent(8, "2009-10-15 12:00:00")}), // other number
            QString());
        CZq6Set set(&m_db);
        openSet(set);
        const QVector<Row> expected{{1, ""}, {2, "Alice"}, {3, "Alice"}, {4, ""}, {5, ""}};
        QCOMPARE(walk(set), expected);
        QCOMPARE(set.CountRows(), 5);
        QCOMPARE(window(set, 0, 10), expected);
    }

    void overlappingUsersGiveOneRowEach()
    {
        QCOMPARE(testdb::exec(m_path, overlappingPeriods()), QString());
        CZq6Set set(&m_db);
        openSet(set);
        const QVector<Row> rows = walk(set);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0), (Row{1, "Alice"}));
        QCOMPARE(rows.at(1).index, 2);
        QCOMPARE(rows.at(2).index, 2);
        QStringList names{rows.at(1).name, rows.at(2).name};
        names.sort();
        QCOMPARE(names, (QStringList{"Alice", "Bob"}));
        // The row fields beyond the name are those of the event.
        set.MoveFirst();
        QCOMPARE(set.m_DATE.ToDbText(), QStringLiteral("2009-03-01 00:00:00"));
        QCOMPARE(set.m_USER_NO, 7);
        QCOMPARE(set.m_USER_NO2, 7);
    }

    void anEventMovedInPlaceIsCountedAgainNotCalledDamage()
    {
        QCOMPARE(testdb::exec(m_path, overlappingPeriods()), QString());
        CZq6Set set(&m_db);
        openSet(set);
        QCOMPARE(set.CountRows(), 3);
        // Another program moves the event out of Bob's period: the counts and
        // the newest event stay, one row is gone.
        QCOMPARE(testdb::exec(m_path, {"UPDATE EVENTS SET DATE = '2009-02-01 00:00:00' WHERE "
                                       "DATE = '2009-10-21 09:05:03'"}),
                 QString());
        const QVector<Row> rows = window(set, 0, 10);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).name, QStringLiteral("Alice"));
        QCOMPARE(set.GetRowCount(), 2);
    }

    void datesWrittenByOtherToolsJoin()
    {
        // sqlite3's datetime() form and a 'T' form with milliseconds.
        if (onServer())
            QSKIP("date-times are typed on the server");
        QCOMPARE(
            testdb::exec(m_path, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES "
                                  "('Carol', 3, datetime('2009-10-21 09:00:00'), "
                                  "datetime('2009-10-21 10:00:00'))",
                                  addEvent(3, "2009-10-21 09:05:03")}),
            QString());
        CZq6Set set(&m_db);
        openSet(set);
        QCOMPARE(walk(set), (QVector<Row>{{1, "Carol"}}));
    }

    void emptyTables()
    {
        CZq6Set set(&m_db);
        openSet(set);
        QVERIFY(set.IsBOF());
        QVERIFY(set.IsEOF());
        QCOMPARE(set.CountRows(), 0);
        QVERIFY(set.FetchRows(0, 10).isEmpty());

        // Events without any user: one row each, no name.
        QCOMPARE(testdb::exec(m_path, {addEvent(1, "2009-01-01 00:00:00"),
                                       addEvent(-1, "2009-01-02 00:00:00")}),
                 QString());
        set.Requery();
        QCOMPARE(walk(set), (QVector<Row>{{1, ""}, {2, ""}}));
    }

    void rowsComeInIndexOrderAndRequerySeesOtherConnections()
    {
        // Numbers written by hand do not move the server's own numbering.
        if (onServer())
            QSKIP("the server numbers from its own sequence");
        QCOMPARE(
            testdb::exec(m_path, {"INSERT INTO EVENTS (\"INDEX\", TIMER, DATE, USER_NO, BUTTON) "
                                  "VALUES (5, 1, '2009-01-01 00:00:00', 1, '0'), "
                                  "(2, 1, '2009-01-01 00:00:00', 1, '0'), "
                                  "(9, 1, '2009-01-01 00:00:00', 1, '0')"}),
            QString());
        CZq6Set set(&m_db);
        openSet(set);
        QCOMPARE(walk(set), (QVector<Row>{{2, ""}, {5, ""}, {9, ""}}));
        set.Close();
        set.m_strSort = QStringLiteral("EVENTS.INDEX");
        set.Open(CRecordset::useDefaultType);
        QCOMPARE(walk(set), (QVector<Row>{{2, ""}, {5, ""}, {9, ""}}));

        QCOMPARE(testdb::exec(m_path, {addEvent(1, "2009-01-02 00:00:00")}), QString());
        QCOMPARE(walk(set).size(), 4); // MoveFirst runs the statement again
        set.Requery();
        QCOMPARE(set.m_INDEX, 2);
        QCOMPARE(set.CountRows(), 4);
        QCOMPARE(window(set, 3, 5), (QVector<Row>{{10, ""}}));
    }

    void windowsMatchTheFullWalkAnywhere()
    {
        // Enough rows for many marks, with runs of several rows per event
        // straddling mark boundaries.
        QStringList sql{user("Dup1", 4, "2000-01-01 00:00:00", "2030-01-01 00:00:00"),
                        user("Dup2", 4, "2000-01-01 00:00:00", "2030-01-01 00:00:00"),
                        user("Dup3", 4, "2000-01-01 00:00:00", "2030-01-01 00:00:00"),
                        user("Solo", 5, "2000-01-01 00:00:00", "2030-01-01 00:00:00"), "BEGIN"};
        for (int i = 0; i < 1000; ++i)
            sql << addEvent(i % 7 == 0 ? 4 : (i % 3 == 0 ? 5 : 6), "2009-01-01 00:00:00", i);
        sql << "COMMIT";
        QCOMPARE(testdb::exec(m_path, sql), QString());

        CZq6Set set(&m_db);
        openSet(set);
        const QVector<Row> all = walk(set);
        QCOMPARE(all.size(), 1000 + 2 * 143);
        QCOMPARE(set.CountRows(), all.size());
        for (qint64 first : {0, 1, 2, 127, 128, 129, 255, 256, 257, 600, 1200, 1280, 1285})
            for (int count : {1, 3, 60, 500})
                QCOMPARE(window(set, first, count), all.mid(first, count));
        QVERIFY(set.FetchRows(all.size(), 5).isEmpty());

        // Rows appended later are counted from the last mark on.
        QStringList more{"BEGIN"};
        for (int i = 0; i < 300; ++i)
            more << addEvent(i % 2 ? 4 : 6, "2009-01-02 00:00:00", i);
        more << "COMMIT";
        QCOMPARE(testdb::exec(m_path, more), QString());
        set.Requery();
        const QVector<Row> grown = walk(set);
        QCOMPARE(grown.size(), all.size() + 150 * 3 + 150);
        QCOMPARE(set.UpdateRowCount(), grown.size());
        for (qint64 first : {0, 1000, 1280, 1281, 1500, 1700})
            QCOMPARE(window(set, first, 200), grown.mid(first, 200));
        QCOMPARE(set.CountRows(), grown.size());
    }

    void aFetchPreparesNoStatementAndFollowsAReopenedFile()
    {
        if (onServer())
            QSKIP("statements are counted through SQLite");
        QCOMPARE(testdb::exec(m_path, {addEvent(1, "2009-01-01 00:00:00"),
                                       addEvent(1, "2009-01-02 00:00:00"),
                                       addEvent(1, "2009-01-03 00:00:00")}),
                 QString());
        CZq6Set set(&m_db);
        openSet(set);
        QCOMPARE(set.CountRows(), 3);
        for (int open = 0; open < 2; ++open) {
            int prepared = 0;
            sqlite3* handle = SqliteHandle(m_db.Handle());
            // Told of every statement while it is prepared.
            sqlite3_set_authorizer(
                handle,
                [](void* count, int, const char*, const char*, const char*, const char*) {
                    ++*static_cast<int*>(count);
                    return SQLITE_OK;
                },
                &prepared);
            QCOMPARE(window(set, 0, 2), (QVector<Row>{{1, ""}, {2, ""}}));
            prepared = 0;
            QCOMPARE(window(set, 1, 2), (QVector<Row>{{2, ""}, {3, ""}}));
            QCOMPARE(prepared, 0);
            sqlite3_set_authorizer(handle, nullptr, nullptr);
            m_db.Open(Location::Parse(m_path)); // another connection under the set
        }
    }

    void changesSinceAStampAreToldApart_data()
    {
        QTest::addColumn<QStringList>("change");
        QTest::addColumn<bool>("sameConnection");
        QTest::addColumn<int>("expected");
        const int none = int(JoinChange::None);
        const int appended = int(JoinChange::Appended);
        const int other = int(JoinChange::Other);
        const QString added = addEvent(7, "2009-05-01 00:00:00");
        QTest::newRow("nothing") << QStringList{} << false << none;
        QTest::newRow("events appended") << QStringList{added} << false << appended;
        QTest::newRow("events appended here") << QStringList{added} << true << appended;
        QTest::newRow("appended here, not committed yet")
            << QStringList{"BEGIN", added} << true << appended;
        QTest::newRow("appended and deleted again")
            << QStringList{added, "DELETE FROM EVENTS WHERE [INDEX] > 10"} << false << none;
        QTest::newRow("event deleted")
            << QStringList{"DELETE FROM EVENTS WHERE [INDEX] = 4"} << false << other;
        QTest::newRow("event deleted here")
            << QStringList{"DELETE FROM EVENTS WHERE [INDEX] = 4"} << true << other;
        QTest::newRow("newest replaced by an older number")
            << QStringList{"UPDATE EVENTS SET [INDEX] = 0 WHERE [INDEX] = 10"} << false << other;
        QTest::newRow("user added")
            << QStringList{user("Bob", 7, "2009-01-01 00:00:00", "2009-02-01 00:00:00")} << false
            << other;
        QTest::newRow("period changed")
            << QStringList{"UPDATE USERS SET DATE_STOP = '2009-03-01 00:00:00'"} << false << other;
        QTest::newRow("user removed") << QStringList{"DELETE FROM USERS"} << true << other;
    }

    void changesSinceAStampAreToldApart()
    {
        QFETCH(QStringList, change);
        QFETCH(bool, sameConnection);
        QFETCH(int, expected);
        QStringList events{user("Alice", 7, "2009-01-01 00:00:00", "2010-01-01 00:00:00")};
        for (int i = 0; i < 10; ++i)
            events << addEvent(7, "2009-04-01 00:00:00", i);
        QCOMPARE(testdb::exec(m_path, events), QString());
        m_db.Open(Location::Parse(m_path));
        const JoinStamp before = JoinStamp::Take(m_db);

        if (sameConnection) {
            for (const QString& sql : change)
                QVERIFY(QSqlQuery(m_db.Handle()).exec(testdb::sql(m_path, sql)));
        } else {
            QCOMPARE(testdb::exec(m_path, change), QString());
        }
        JoinStamp now;
        QCOMPARE(int(before.ChangeSince(m_db, &now)), expected);
        JoinStamp again;
        QCOMPARE(int(now.ChangeSince(m_db, &again)), int(JoinChange::None));
    }

    // A walk stopped by its reader, or ended by the reader's error, ends what
    // it started: the connection reads on.
    void aStoppedWalkLeavesTheConnectionSound()
    {
        QStringList events;
        for (int i = 0; i < 50; ++i)
            events << addEvent(7, "2009-04-01 00:00:00", i);
        QCOMPARE(testdb::exec(m_path, events, true), QString());
        m_db.Open(Location::Parse(m_path));
        int seen = 0;
        StreamJoinedRows(m_db, [&](const JoinedRowValues&) { return ++seen < 3; });
        QCOMPARE(seen, 3);
        QVERIFY_THROWS_EXCEPTION(CDBException,
                                 StreamJoinedRows(m_db, [](const JoinedRowValues&) -> bool {
                                     throw CDBException(QStringLiteral("Cannot write"));
                                 }));
        seen = 0;
        StreamJoinedRows(m_db, [&](const JoinedRowValues&) { return ++seen > 0; });
        QCOMPARE(seen, 50);
    }

    void anOpenSetLetsOtherConnectionsWrite()
    {
        QStringList sql{"BEGIN"};
        for (int i = 0; i < 600; ++i)
            sql << addEvent(1, "2009-01-01 00:00:00", i);
        sql << "COMMIT";
        QCOMPARE(testdb::exec(m_path, sql), QString());
        CZq6Set set(&m_db);
        openSet(set);
        for (int i = 0; i < 520; ++i) // into the second page
            set.MoveNext();
        QCOMPARE(set.m_INDEX, 521);
        // Another connection without any patience must get its write through.
        QCOMPARE(testdb::exec(m_path, {onServer() ? "BEGIN" : "BEGIN IMMEDIATE",
                                       addEvent(1, "2009-01-02 00:00:00", 1), "COMMIT"}),
                 QString());
        int rest = 0;
        for (; !set.IsEOF(); set.MoveNext())
            ++rest;
        QCOMPARE(rest, 80); // the new row shows after the next Requery
        set.Requery();
        QCOMPARE(walk(set).size(), 601);
    }

    void newestEventAndAppending()
    {
        CEVENTS record(&m_db);
        m_db.Open(Location::Parse(m_path));
        record.Open(CRecordset::dynaset);
        QVERIFY(record.IsBOF());
        QVERIFY(record.IsEOF());
        QVERIFY(record.CanAppend());

        const CTime when = CTime::FromDbText(u"2009-10-21 09:05:03");
        AppendEventBatch(record, {{990, when, 255, "1"}, {5, CTime(when.GetTime() + 60), -1, "0"}});
        record.MoveLast();
        QCOMPARE(record.m_INDEX, 2);
        QCOMPARE(record.m_TIMER, 5);
        QCOMPARE(record.m_USER_NO, -1);
        QCOMPARE(record.m_BUTTON, QStringLiteral("0"));
        QCOMPARE(record.m_DATE.GetTime(), when.GetTime() + 60);

        // Stored as plain local text, as other tools write it.
        QCOMPARE(testdb::scalar(m_path, onServer() ? "SELECT DATE::text || '|' || pg_typeof(DATE) "
                                                     "FROM EVENTS WHERE \"INDEX\" = 1"
                                                   : "SELECT DATE || '|' || typeof(DATE) FROM "
                                                     "EVENTS WHERE \"INDEX\" = 1")
                     .toString(),
                 onServer() ? QStringLiteral("2009-10-21 09:05:03|timestamp without time zone")
                            : QStringLiteral("2009-10-21 09:05:03|text"));

        // Numbers are never reused, not even after the newest row was deleted.
        QCOMPARE(testdb::exec(m_path, {"DELETE FROM EVENTS WHERE \"INDEX\" = 2"}), QString());
        AppendEventBatch(record, {{7, when, 1, "1"}});
        record.MoveLast();
        QCOMPARE(record.m_INDEX, 3);
        if (onServer())
            return; // numbers written by hand do not move the server's numbering

        // The newest row is found by number, not by insertion order or date.
        QCOMPARE(testdb::exec(m_path, {"INSERT INTO EVENTS (\"INDEX\", TIMER, DATE, USER_NO, "
                                       "BUTTON) VALUES (100, 42, '2000-01-01 00:00:00', 9, '1')",
                                       addEvent(3, "2020-01-01 00:00:00", 43)}),
                 QString());
        record.MoveLast();
        QCOMPARE(record.m_INDEX, 101);
        QCOMPARE(record.m_TIMER, 43);
    }

    void aBatchIsStoredWhollyOrNotAtAll()
    {
        // The database refuses one event in the middle of the batch.
        QCOMPARE(
            testdb::exec(m_path,
                         onServer()
                             ? QStringList{addEvent(1, "2009-01-01 00:00:00"),
                                           "CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN "
                                           "IF NEW.TIMER = 666 THEN RAISE 'refused'; END IF; "
                                           "RETURN NEW; END $$ LANGUAGE plpgsql",
                                           "CREATE TRIGGER refuse BEFORE INSERT ON EVENTS FOR "
                                           "EACH ROW EXECUTE FUNCTION refuse()"}
                             : QStringList{addEvent(1, "2009-01-01 00:00:00"),
                                           "CREATE TRIGGER refuse BEFORE INSERT ON EVENTS WHEN "
                                           "NEW.TIMER = 666 BEGIN SELECT RAISE(ABORT, 'refused'); "
                                           "END"}),
            QString());
        CEVENTS record(&m_db);
        m_db.Open(Location::Parse(m_path));
        record.Open();
        const CTime when = CTime::FromDbText(u"2009-10-21 09:05:03");
        bool thrown = false;
        try {
            AppendEventBatch(record, {{1, when, 1, "0"}, {666, when, 1, "0"}, {3, when, 1, "0"}});
        } catch (const CDBException& e) {
            thrown = true;
            QVERIFY2(e.m_strError.contains("refused"), qPrintable(e.m_strError));
        }
        QVERIFY(thrown);
        QCOMPARE(testdb::scalar(m_path, "SELECT COUNT(*) FROM EVENTS").toInt(), 1);

        // The connection is usable again afterwards.
        AppendEventBatch(record, {{1, when, 1, "0"}, {3, when, 1, "0"}});
        QCOMPARE(testdb::scalar(m_path, "SELECT COUNT(*) FROM EVENTS").toInt(), 3);
    }

    void recordsConnectWithTheCurrentPath()
    {
        if (onServer())
            QSKIP("about file paths");
        CDatabase unconnected;
        CEVENTS record(&unconnected);
        g_strDbPath = QStringLiteral("first.db");
        QVERIFY(record.GetDefaultConnect().contains(";DBQ=first.db;"));
        g_strDbPath = m_path;
        QVERIFY(record.GetDefaultConnect().contains(QStringLiteral(";DBQ=%1;").arg(m_path)));
        CZq6Set set(&unconnected);
        QCOMPARE(set.GetDefaultConnect(), record.GetDefaultConnect());
        // Opening a set on an unconnected database connects it to that path.
        record.Open();
        QVERIFY(unconnected.IsOpen());
        QCOMPARE(unconnected.GetPath(), m_path);
        record.Close();
        g_strDbPath.clear();
    }
};

QTEST_GUILESS_MAIN(TestDbSets)
#include "test_db_sets.moc"
