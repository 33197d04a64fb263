// The event record and the joined event set on real databases: every test
// runs on an SQLite file and on a PostgreSQL server database.

#include "db/backend/dbexception.h"
#include "db/backend/serverdb.h"
#include "db/backend/sqliteconnection.h"
#include "db/joinstamp.h"
#include "db/joinstream.h"
#include "db/listseek.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/record/events.h"
#include "db/zq6set.h"
#include "tests/support/pgserver.h"
#include "tests/support/testdb.h"

#include <QDate>
#include <QDateTime>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <ctime>

Q_DECLARE_METATYPE(EventFilter)

namespace {

QString user(const char* name, int userNo, const char* start, const char* stop)
{
    return QStringLiteral("INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                          "VALUES ('%1', %2, '%3', '%4')")
        .arg(QString::fromUtf8(name))
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

// Dated out of order: event 4 after the clock was set back a day, event 6
// by a clock years ahead; event 2 has two rows (Alice and Bob); events 10
// and 11 of another number.
QStringList datedEvents()
{
    QStringList sql{user("Alice", 7, "2009-01-01 00:00:00", "9999-12-31 23:59:59"),
                    user("Bob", 7, "2009-01-01 11:59:00", "2009-01-02 00:00:00")};
    const char* dates[] = {"2009-01-01 10:00:00", "2009-01-01 12:00:00", "2009-01-02 08:00:00",
                           "2009-01-01 11:00:00", "2009-01-02 09:00:00", "2030-06-01 00:00:00",
                           "2009-01-03 10:00:00", "2009-01-03 10:00:00", "2009-01-05 00:00:00"};
    for (const char* date : dates)
        sql << addEvent(7, date);
    // Carl's number 8, for filters.
    sql << user("Carl", 8, "2009-01-01 00:00:00", "9999-12-31 23:59:59")
        << addEvent(8, "2009-01-01 10:30:00") << addEvent(8, "2009-01-04 12:00:00");
    return sql;
}

// Hand-overs: number 3 from Anna to Jan Wrona, number 4 held by Åsa and for
// March also by Jan Kos; Olaf's number has no events.
QStringList handedOver()
{
    return {user("Anna Kowal", 3, "2024-01-01 00:00:00", "2024-07-01 10:00:00"),
            user("Jan Wrona", 3, "2024-07-01 10:00:00", "9999-12-31 23:59:59"),
            user("\u00c5sa \u00d6berg", 4, "2024-01-01 00:00:00", "9999-12-31 23:59:59"),
            user("Jan Kos", 4, "2024-03-01 00:00:00", "2024-04-01 00:00:00"),
            user("Olaf", 8, "2024-01-01 00:00:00", "9999-12-31 23:59:59"),
            addEvent(3, "2024-02-01 00:00:00"),
            addEvent(4, "2024-02-15 00:00:00"),
            addEvent(4, "2024-03-10 00:00:00"),
            addEvent(3, "2024-08-01 00:00:00"),
            addEvent(9, "2024-08-02 00:00:00"),
            addEvent(3, "2024-09-01 00:00:00")};
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

    void aUserAddedByAnotherProgramMovesTheRowsAfterIt()
    {
        QCOMPARE(testdb::exec(m_path, overlappingPeriods() << addEvent(7, "2009-11-01 00:00:00")
                                                           << addEvent(7, "2009-12-15 00:00:00")),
                 QString());
        CZq6Set set(&m_db);
        openSet(set);
        QCOMPARE(set.CountRows(), 6);
        QCOMPARE(window(set, 0, 6).size(), 6); // the rows' places are known now
        // Carl holds number 7 when event 1 happened: one more row before the rest.
        QCOMPARE(
            testdb::exec(m_path, {user("Carl", 7, "2009-02-01 00:00:00", "2009-04-01 00:00:00")}),
            QString());
        QCOMPARE(window(set, 3, 3), (QVector<Row>{{2, "Bob"}, {3, "Alice"}, {3, "Bob"}}));
        QCOMPARE(set.GetRowCount(), 7);
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

    void aFilteredSetHoldsTheRowsOfTheSameQuery_data()
    {
        QTest::addColumn<EventFilter>("filter");
        QTest::addColumn<QString>("condition"); // the same rows, written by hand
        auto users = [](QVector<qint32> numbers) {
            EventFilter f;
            f.userNos = std::move(numbers);
            return f;
        };
        auto named = [](const char* text) {
            EventFilter f;
            f.name = QString::fromUtf8(text);
            return f;
        };
        EventFilter button;
        button.button = 1;
        EventFilter dates;
        dates.from = "2009-03-01 00:00:00";
        dates.to = "2009-05-01 00:00:00";
        EventFilter all = named("bob");
        all.userNos = {4, 6};
        all.button = 0;
        all.from = "2009-02-01 00:00:00";
        QTest::newRow("none") << EventFilter() << "1 = 1";
        QTest::newRow("a user") << users({3}) << "EVENTS.USER_NO = 3";
        QTest::newRow("users") << users({5, 3, 5}) << "EVENTS.USER_NO IN (3, 5)";
        QTest::newRow("a user of no event") << users({9}) << "EVENTS.USER_NO = 9";
        QTest::newRow("name in another case") << named("aNN") << "USERS.NAME = 'Ann Berg'";
        QTest::newRow("name after a hand-over")
            << named("\xc3\x96ST") << "USERS.NAME = 'J\xc3\xb6rg \xc3\x96st'";
        QTest::newRow("names of overlapping periods")
            << named("bob") << "USERS.NAME IN ('Bob', 'bobby')";
        QTest::newRow("one of overlapping periods") << named("BBY") << "USERS.NAME = 'bobby'";
        QTest::newRow("no such name") << named("zz") << "1 = 0";
        QTest::newRow("button") << button << "EVENTS.BUTTON = '1'";
        QTest::newRow("dates") << dates
                               << "EVENTS.DATE >= '2009-03-01 00:00:00' AND EVENTS.DATE < "
                                  "'2009-05-01 00:00:00'";
        QTest::newRow("all at once") << all
                                     << "EVENTS.USER_NO = 4 AND USERS.NAME IN ('Bob', 'bobby') "
                                        "AND EVENTS.BUTTON = '0' AND EVENTS.DATE >= '2009-02-01 "
                                        "00:00:00'";
    }

    void aFilteredSetHoldsTheRowsOfTheSameQuery()
    {
        QFETCH(EventFilter, filter);
        QFETCH(QString, condition);
        // Number 3 handed over from Ann to Jörg, two overlapping periods
        // of number 4, none of 5 and 6; an event a day, every third button 1.
        QStringList sql{user("Ann Berg", 3, "2008-01-01 00:00:00", "2009-07-01 00:00:00"),
                        "INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES "
                        "('J\xc3\xb6rg \xc3\x96st', 3, '2009-07-01 00:00:00', "
                        "'2011-01-01 00:00:00')",
                        user("Bob", 4, "2009-03-01 00:00:00", "2009-09-01 00:00:00"),
                        user("bobby", 4, "2008-01-01 00:00:00", "2011-01-01 00:00:00")};
        // Events from..to-1 in one statement.
        const auto events = [](int from, int to) {
            QStringList values;
            for (int i = from; i < to; ++i) {
                const int userNo = i % 5 == 0 ? 5 : 3 + i % 2 + (i % 7 == 0 ? 3 : 0);
                values << QStringLiteral("(%1, '%2 10:00:00', %3, '%4')")
                              .arg(i)
                              .arg(QDate(2009, 1, 1).addDays(i).toString(Qt::ISODate))
                              .arg(userNo)
                              .arg(i % 3 == 0 ? 1 : 0);
            }
            return "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES " + values.join(", ");
        };
        sql << events(0, 360);
        QCOMPARE(testdb::exec(m_path, sql), QString());
        const auto expected = [&] {
            QVector<Row> rows;
            for (const QVariantList& r :
                 testdb::rows(m_path, QStringLiteral("SELECT EVENTS.[INDEX], USERS.NAME FROM ") +
                                          CZq6Set(nullptr).GetDefaultSQL() + " WHERE " + condition +
                                          " ORDER BY EVENTS.[INDEX], USERS.[INDEX]"))
                rows.append({r.at(0).toInt(), r.at(1).toString()});
            return rows;
        };

        CZq6Set set(&m_db);
        openSet(set);
        QVector<Row> rows = expected();
        // SQLite reads a filter that lets many events through in INDEX order,
        // the others through an index; here each way.
        const auto restore = qScopeGuard([] { CZq6Set::SetFewEvents(4096); });
        for (const qint64 few : {qint64(4096), qint64(0)}) {
            CZq6Set::SetFewEvents(few);
            set.SetFilter(filter);
            QCOMPARE(set.CountRows(), rows.size());
            const qint64 n = rows.size();
            for (const qint64 first : {qint64(0), qint64(1), n / 2, std::max<qint64>(0, n - 33)})
                QCOMPARE(window(set, first, 40), rows.mid(first, 40));
            const CZq6Set::EventSpan span = set.ReadEventSpan();
            QCOMPARE(span.IsEmpty(), rows.isEmpty());
            if (!rows.isEmpty()) {
                QCOMPARE(span.first, rows.first().index);
                QCOMPARE(span.last, rows.last().index);
                QCOMPARE(set.FetchLast(1).constFirst().eventIndex, rows.last().index);
            }
        }

        // Appended events are counted on under the same filter.
        QCOMPARE(testdb::exec(m_path, {events(360, 420)}), QString());
        rows = expected();
        QCOMPARE(set.UpdateRowCount(), rows.size());
        QCOMPARE(window(set, std::max<qint64>(0, rows.size() - 20), 20),
                 rows.mid(rows.size() - 20));
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
            QCOMPARE(window(set, 0, 2), (QVector<Row>{{1, ""}, {2, ""}}));
            // The second fetch prepares no statement of its own.
            const quint64 prepared = m_db.Sqlite()->PreparedStatements();
            QCOMPARE(window(set, 1, 2), (QVector<Row>{{2, ""}, {3, ""}}));
            QCOMPARE(m_db.Sqlite()->PreparedStatements(), prepared);
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
                m_db.GetConnection().Execute(testdb::sql(m_path, sql).toUtf8());
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

    // Rows of a long name come a few a page, and every one of them.
    void pagesOfLongNamesHoldEveryRow()
    {
        if (onServer())
            QSKIP("a server's names hold 255 characters");
        const QByteArray name(300000, 'n');
        QStringList sql{user(name.constData(), 1, "2009-01-01 00:00:00", "9999-12-31 23:59:59")};
        for (int i = 0; i < 9; ++i)
            sql << addEvent(1, "2009-01-02 00:00:00", i);
        QCOMPARE(testdb::exec(m_path, sql, true), QString());
        CZq6Set set(&m_db);
        openSet(set);
        const QVector<Row> rows = walk(set);
        QCOMPARE(rows.size(), 9);
        QCOMPARE(rows.last(), (Row{9, QString::fromLatin1(name)}));
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

    void goToDateShowsTheFirstListedEventOfTheDay_data()
    {
        QTest::addColumn<QString>("moment");
        QTest::addColumn<bool>("counted");
        QTest::addColumn<int>("expected"); // 0: none
        QTest::addColumn<EventFilter>("filter");
        QTest::newRow("before the first") << "2008-01-01 00:00:00" << true << 1 << EventFilter();
        QTest::newRow("before the first, not counted")
            << "2008-01-01 00:00:00" << false << 1 << EventFilter();
        QTest::newRow("exact match") << "2009-01-02 09:00:00" << true << 5 << EventFilter();
        QTest::newRow("between") << "2009-01-01 11:30:00" << true << 2 << EventFilter();
        QTest::newRow("between, not counted")
            << "2009-01-01 11:30:00" << false << 2 << EventFilter();
        QTest::newRow("after a row with two users")
            << "2009-01-02 00:00:00" << true << 3 << EventFilter();
        QTest::newRow("a clock set back: the first listed")
            << "2009-01-01 10:30:00" << true << 2 << EventFilter();
        QTest::newRow("a clock years ahead is passed over")
            << "2009-01-04 00:00:00" << true << 9 << EventFilter();
        QTest::newRow("the date of the clock ahead")
            << "2030-01-01 00:00:00" << false << 6 << EventFilter();
        QTest::newRow("two events at the date")
            << "2009-01-03 10:00:00" << true << 7 << EventFilter();
        QTest::newRow("after the last") << "2031-01-01 00:00:00" << true << 0 << EventFilter();
        EventFilter carl;
        carl.userNos = {8};
        EventFilter bob;
        bob.name = "bob";
        EventFilter laterAlice;
        laterAlice.name = "ALI";
        laterAlice.from = "2009-01-02 00:00:00";
        EventFilter later;
        later.from = "2009-01-03 00:00:00";
        QTest::newRow("filtered by number") << "2009-01-01 00:00:00" << true << 10 << carl;
        QTest::newRow("filtered by number, others passed over")
            << "2009-01-02 00:00:00" << true << 11 << carl;
        QTest::newRow("filtered by number, after its last")
            << "2009-01-05 00:00:00" << true << 0 << carl;
        QTest::newRow("filtered by name") << "2008-01-01 00:00:00" << true << 2 << bob;
        QTest::newRow("filtered by name and dates")
            << "2009-01-01 00:00:00" << true << 3 << laterAlice;
        QTest::newRow("filtered by dates") << "2009-01-01 11:30:00" << true << 7 << later;
        EventFilter earlier;
        earlier.to = "2009-01-03 00:00:00";
        QTest::newRow("after the filter's dates") << "2009-01-02 09:30:00" << true << 0 << earlier;
    }

    void goToDateShowsTheFirstListedEventOfTheDay()
    {
        QFETCH(QString, moment);
        QFETCH(bool, counted);
        QFETCH(int, expected);
        QFETCH(EventFilter, filter);
        QCOMPARE(testdb::exec(m_path, datedEvents()), QString());
        CZq6Set set(&m_db);
        openSet(set);
        set.SetFilter(filter);
        const std::optional<qint64> event = EventAtDate(m_db, moment, filter);

        // Straight from the rows: of the events from the moment to a day after
        // the earliest of them, the smallest INDEX; filtered, of the events
        // the filtered list shows.
        const QVector<Row> all =
            filter.IsEmpty() ? walk(set) : window(set, 0, int(set.CountRows()));
        QVector<QVariantList> events = testdb::rows(
            m_path, QStringLiteral("SELECT [INDEX], DATE FROM EVENTS ORDER BY [INDEX]"));
        events.removeIf([&](const QVariantList& e) {
            return std::none_of(all.cbegin(), all.cend(),
                                [&](const Row& r) { return r.index == e.at(0).toInt(); });
        });
        const auto text = [](const QVariant& v) {
            return v.toString().replace(QLatin1Char('T'), QLatin1Char(' ')).left(19);
        };
        QString earliest;
        for (const QVariantList& e : events)
            if (text(e.at(1)) >= moment && (earliest.isEmpty() || text(e.at(1)) < earliest))
                earliest = text(e.at(1));
        const QString dayAfter =
            QDateTime::fromString(earliest, QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                .addDays(1)
                .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        qint64 direct = 0;
        for (const QVariantList& e : events)
            if (!direct && text(e.at(1)) >= moment && text(e.at(1)) <= dayAfter)
                direct = e.at(0).toLongLong();
        QCOMPARE(event.value_or(0), direct);
        QCOMPARE(event.value_or(0), qint64(expected));
        if (!event) {
            QString last;
            for (const QVariantList& e : events)
                last = std::max(last, text(e.at(1)));
            QCOMPARE(LastEventDate(m_db, filter), last);
            return;
        }
        // The line the list shows it on: its first row once counted, its
        // INDEX from the smallest before.
        const qint64 row = std::find_if(all.cbegin(), all.cend(),
                                        [&](const Row& r) { return r.index == *event; }) -
                           all.cbegin();
        if (counted) {
            QCOMPARE(set.CountRows(), all.size());
            QCOMPARE(set.RowOfEvent(*event), row);
            QCOMPARE(window(set, row, 1).first().index, *event);
        } else {
            QCOMPARE(
                set.FetchFromEvent(set.ReadEventSpan().first + (*event - 1), 1).first().eventIndex,
                *event);
        }
    }

    void findGoesRoundTheList_data()
    {
        QTest::addColumn<QString>("what");  // "#N": user number N
        QTest::addColumn<int>("fromEvent"); // 0: from the start or the end
        QTest::addColumn<int>("fromSkip");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<bool>("inclusive");
        QTest::addColumn<int>("event"); // 0: not found
        QTest::addColumn<int>("skip");
        QTest::addColumn<bool>("wrapped");
        QTest::addColumn<EventFilter>("filter");
        QTest::newRow("name, a later event")
            << "jan" << 1 << 0 << true << false << 3 << 1 << false << EventFilter();
        QTest::newRow("name, the next row of the event")
            << "kos" << 3 << 0 << true << false << 3 << 1 << false << EventFilter();
        QTest::newRow("name in other case, round the end")
            << "\u00c5SA" << 3 << 0 << true << false << 2 << 0 << true << EventFilter();
        QTest::newRow("name, previous")
            << "jan" << 4 << 0 << false << false << 3 << 1 << false << EventFilter();
        QTest::newRow("name, previous round the start to itself")
            << "anna" << 1 << 0 << false << false << 1 << 0 << true << EventFilter();
        QTest::newRow("handed over: the new holder's events")
            << "wrona" << 0 << 0 << true << false << 4 << 0 << false << EventFilter();
        QTest::newRow("from the end")
            << "wrona" << 0 << 0 << false << false << 6 << 0 << false << EventFilter();
        QTest::newRow("the top line itself")
            << "jan" << 3 << 1 << true << true << 3 << 1 << false << EventFilter();
        QTest::newRow("number, next")
            << "#3" << 1 << 0 << true << false << 4 << 0 << false << EventFilter();
        QTest::newRow("number, previous round the start")
            << "#3" << 1 << 0 << false << false << 6 << 0 << true << EventFilter();
        QTest::newRow("number without a user")
            << "#9" << 2 << 0 << true << false << 5 << 0 << false << EventFilter();
        QTest::newRow("number, the second row of an event")
            << "#4" << 3 << 0 << true << false << 3 << 1 << false << EventFilter();
        // "many": 600 more periods of number 3, only the last one holding
        // event 6 (its second row, after Jan Wrona), so that they are looked
        // for in more than one statement.
        QTest::newRow("name of more periods than one statement takes")
            << "many" << 1 << 0 << false << false << 6 << 1 << true << EventFilter();
        QTest::newRow("number not found")
            << "#42" << 2 << 0 << true << false << 0 << 0 << false << EventFilter();
        QTest::newRow("name not found")
            << "zed" << 2 << 0 << true << false << 0 << 0 << false << EventFilter();
        QTest::newRow("a period without events")
            << "olaf" << 2 << 0 << false << false << 0 << 0 << false << EventFilter();
        EventFilter jan;
        jan.name = "jan";
        EventFilter fromMarch;
        fromMarch.from = "2024-03-01 00:00:00";
        EventFilter three;
        three.userNos = {3};
        EventFilter oberg;
        oberg.name = "berg";
        QTest::newRow("filtered: the row the list shows")
            << "#4" << 1 << 0 << true << false << 3 << 0 << false << jan;
        QTest::newRow("filtered: a match hidden by the dates")
            << "anna" << 4 << 0 << true << false << 0 << 0 << false << fromMarch;
        QTest::newRow("filtered by dates, round the start")
            << "#3" << 4 << 0 << false << false << 6 << 0 << true << fromMarch;
        QTest::newRow("filtered by number")
            << "jan" << 1 << 0 << true << false << 4 << 0 << false << three;
        QTest::newRow("filtered: the event's other row hidden")
            << "kos" << 1 << 0 << true << false << 0 << 0 << false << oberg;
    }

    void findGoesRoundTheList()
    {
        QFETCH(QString, what);
        QFETCH(int, fromEvent);
        QFETCH(int, fromSkip);
        QFETCH(bool, forward);
        QFETCH(bool, inclusive);
        QFETCH(int, event);
        QFETCH(int, skip);
        QFETCH(bool, wrapped);
        QFETCH(EventFilter, filter);
        QStringList sql = handedOver();
        if (what == QLatin1String("many"))
            sql << "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 598) "
                   "INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) SELECT 'Many', 3, "
                   "'2023-01-01 00:00:00', '2023-01-02 00:00:00' FROM n"
                << user("Many", 3, "2024-08-15 00:00:00", "2024-12-31 00:00:00");
        QCOMPARE(testdb::exec(m_path, sql), QString());
        m_db.Open(Location::Parse(m_path));
        ListFind find;
        find.byNumber = what.startsWith(QLatin1Char('#'));
        if (find.byNumber)
            find.userNo = what.mid(1).toInt();
        else
            find.text = what;
        const FindOutcome found = FindInList(
            m_db, find, fromEvent ? std::optional<JoinMark>({fromEvent, fromSkip}) : std::nullopt,
            forward, inclusive, filter);
        QCOMPARE(found.found, event != 0);
        if (!event)
            return;
        QCOMPARE(found.at.eventIndex, qint64(event));
        QCOMPARE(found.at.skip, skip);
        QCOMPARE(found.wrapped, wrapped);
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
