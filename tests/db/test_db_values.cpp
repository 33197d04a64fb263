// Date-times as stored and shown, the row texts and the connection string.

#include "db/backend/connectstring.h"
#include "db/joinstream.h"
#include "db/record/ctime.h"
#include "db/record/database.h"
#include "db/record/events.h"
#include "db/zq6set.h"
#include "formats/rowtext.h"
#include "tests/support/testdb.h"

#include <QTemporaryDir>
#include <QTest>
#include <ctime>
#include <utility>

namespace {

// A database as the template makes it, with the date columns of the given
// declared types.
QString makeDb(const QTemporaryDir& dir, const QString& dateType, const QString& periodType)
{
    const QString path = dir.filePath(QStringLiteral("values.db"));
    const QString error = testdb::exec(
        path,
        {QStringLiteral("CREATE TABLE EVENTS (\"INDEX\" INTEGER PRIMARY KEY AUTOINCREMENT, TIMER "
                        "INTEGER, DATE %1, USER_NO INTEGER, BUTTON VARCHAR(255))")
             .arg(dateType),
         QStringLiteral("CREATE TABLE USERS (\"INDEX\" INTEGER PRIMARY KEY AUTOINCREMENT, NAME "
                        "VARCHAR(255), USER_NO INTEGER, DATE_START %1, DATE_STOP %1)")
             .arg(periodType),
         QStringLiteral("CREATE INDEX USERS_USER_NO ON USERS (USER_NO)")});
    return error.isEmpty() ? path : QString();
}

} // namespace

class TestDbValues : public QObject
{
    Q_OBJECT

private:
    static void useZone(const char* zone)
    {
        qputenv("TZ", zone);
        tzset();
    }

private Q_SLOTS:
    void init() { useZone("Europe/Berlin"); }
    void cleanupTestCase() { useZone("UTC"); }

    void storedFormIsLocalTimeToTheSecond()
    {
        // 2009-10-21 07:05:03 UTC is 09:05:03 in Berlin (summer time).
        const CTime t(1256108703);
        QCOMPARE(t.ToDbText(), QStringLiteral("2009-10-21 09:05:03"));
        useZone("UTC");
        QCOMPARE(t.ToDbText(), QStringLiteral("2009-10-21 07:05:03"));
        QCOMPARE(CTime::FromDbText(u"2009-10-21 07:05:03").GetTime(), 1256108703);
    }

    void roundTripAcrossAYearWithDaylightSaving()
    {
        // Every instant reads back as itself, except the second pass through
        // the repeated autumn hour, which reads as the first pass.
        const qint64 start = 1230764400; // 2009-01-01 00:00 local
        int repeated = 0;
        for (qint64 t = start; t < start + 366 * 86400; t += 3600 + 17) {
            const QString text = CTime(t).ToDbText();
            const qint64 back = CTime::FromDbText(text).GetTime();
            if (back != t) {
                QCOMPARE(back, t - 3600);
                QCOMPARE(CTime(back).ToDbText(), text);
                ++repeated;
            }
        }
        QVERIFY(repeated <= 1);
    }

    void repeatedAutumnHourReadsAsTheEarlierInstant()
    {
        // 25 October 2009: 03:00 summer time becomes 02:00 winter time.
        const qint64 summer = 1256430600;    // 00:30 UTC = 02:30 CEST
        const qint64 winter = summer + 3600; // 01:30 UTC = 02:30 CET
        QCOMPARE(CTime(summer).ToDbText(), QStringLiteral("2009-10-25 02:30:00"));
        QCOMPARE(CTime(winter).ToDbText(), QStringLiteral("2009-10-25 02:30:00"));
        QCOMPARE(CTime::FromDbText(u"2009-10-25 02:30:00").GetTime(), summer);
        // The hours around it are unambiguous.
        QCOMPARE(CTime::FromDbText(u"2009-10-25 01:59:59").GetTime(), summer - 1801);
        QCOMPARE(CTime::FromDbText(u"2009-10-25 03:00:00").GetTime(), winter + 1800);
    }

    void skippedSpringHourStillReads()
    {
        // 29 March 2009 02:00-03:00 does not exist in Berlin.
        const CTime t = CTime::FromDbText(u"2009-03-29 02:30:00");
        QVERIFY(t.IsValid());
        QVERIFY(std::llabs(t.GetTime() - 1238290200) <= 3600);
    }

    void textsOfOtherToolsAreAccepted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("plain") << "2009-10-21 09:05:03" << qint64(1256108703);
        QTest::newRow("T and fraction") << "2009-10-21T09:05:03.000" << qint64(1256108703);
        QTest::newRow("no seconds") << "2009-10-21 09:05" << qint64(1256108700);
        QTest::newRow("date only") << "2009-10-21" << qint64(1256076000);
    }

    void textsOfOtherToolsAreAccepted()
    {
        QFETCH(QString, text);
        QFETCH(qint64, expected);
        QCOMPARE(CTime::FromDbText(text).GetTime(), expected);
    }

    void nonsenseIsNoDate_data()
    {
        QTest::addColumn<QString>("text");
        for (const char* s : {"", "yesterday", "2009-13-01 00:00:00", "2009-02-30 10:00:00",
                              "2009-10-21 24:00:00", "2009-10-21 09:05:03 junk", "1256108703"})
            QTest::newRow(s) << QString::fromLatin1(s);
    }

    void nonsenseIsNoDate()
    {
        QFETCH(QString, text);
        const CTime t = CTime::FromDbText(text);
        QVERIFY(!t.IsValid());
        QCOMPARE(t.Format("%Y-%m-%d"), QString());
    }

    void rowTexts()
    {
        const RowTexts row = FormatRow(CTime::FromDbText(u"2009-10-21 09:05:03"), 7, "Alice", 5);
        QCOMPARE(row.date, QStringLiteral("2009-10-21"));
        QCOMPARE(row.time, QStringLiteral("09:05:03"));
        QCOMPARE(row.userNo, QStringLiteral("     7"));
        QCOMPARE(row.name, QStringLiteral("Alice"));
        QCOMPARE(row.timer, QStringLiteral("     5"));

        QCOMPARE(FormatRow(CTime(), -1, {}, 0).userNo, QStringLiteral("    -1"));
        QCOMPARE(FormatRow(CTime(), 510, {}, 4194303).timer, QStringLiteral("4194303"));
        QCOMPARE(FormatRow(CTime(), 0, QStringLiteral("  Ünïcode  "), 0).name,
                 QStringLiteral("  Ünïcode  "));

        const RowTexts noDate = FormatRow(CTime::Invalid(), 3, QStringLiteral("Bob"), 12);
        QCOMPARE(noDate.date, QString());
        QCOMPARE(noDate.time, QString());
        QCOMPARE(noDate.userNo, QStringLiteral("     3"));
        QCOMPARE(noDate.name, QStringLiteral("Bob"));
    }

    void fastConversionsAgreeWithTheFullOnes_data()
    {
        QTest::addColumn<QByteArray>("zone");
        for (const char* zone :
             {"Europe/Berlin", "UTC", "America/St_Johns", "Australia/Lord_Howe", "Asia/Kathmandu"})
            QTest::newRow(zone) << QByteArray(zone);
    }

    void fastConversionsAgreeWithTheFullOnes()
    {
        QFETCH(QByteArray, zone);
        useZone(zone.constData());
        DbTextWriter writer;
        StoredTextCheck check;
        int same = 0;
        // Two years in steps that visit every minute of the hour.
        QVector<qint64> instants;
        for (qint64 t = 1230764400; t < 1230764400 + 2 * 366 * 86400; t += 3 * 3600 + 61)
            instants << t;
        // Changes of the offset in the middle of an hour of UTC: Berlin 1893,
        // Kathmandu 1986.
        for (const qint64 change : {qint64(-2422054408), qint64(504901800)}) {
            for (qint64 t = change - 7200; t < change + 7200; t += 59)
                instants << t;
        }
        for (const qint64 t : instants) {
            const QString text = CTime(t).ToDbText();
            char written[DbTextWriter::kMaxSize];
            QCOMPARE(QByteArray(written, writer.Write(CTime(t), written)), text.toUtf8());
            // The hours in which the zones change, skipped or repeated.
            QString probe = text;
            for (int hour = 0; hour < 4; ++hour) {
                probe.replace(11, 2, QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0')));
                if (check.ShowsAsItself(probe.toLatin1())) {
                    QCOMPARE(CTime::FromDbText(probe).ToDbText(), probe);
                    ++same;
                }
            }
        }
        QVERIFY(same > instants.size() * 3);
        char none[DbTextWriter::kMaxSize];
        QCOMPARE(writer.Write(CTime::Invalid(), none), 0);
        for (const char* other :
             {"2009-10-21T09:05:03", "2009-10-21 09:05", "2009-10-21 09:60:00",
              "2009-02-30 10:00:00", " 2009-10-21 09:05:0", "2009-10-21 24:00:00"})
            QVERIFY2(!check.ShowsAsItself(QByteArray(other)), other);
    }

    void streamedListIsTheListAsBefore_data()
    {
        QTest::addColumn<QString>("dateType");
        QTest::addColumn<QString>("periodType");
        QTest::newRow("date-times") << "DATETIME"
                                    << "DATETIME";
        QTest::newRow("texts") << "TEXT"
                               << "TEXT";
        QTest::newRow("text and date-times") << "TEXT"
                                             << "DATETIME";
        QTest::newRow("date-time and no type") << "DATETIME"
                                               << "";
    }

    void streamedListIsTheListAsBefore()
    {
        QFETCH(QString, dateType);
        QFETCH(QString, periodType);
        QTemporaryDir dir;
        const QString path = makeDb(dir, dateType, periodType);
        QVERIFY(!path.isEmpty());
        const QString always = QStringLiteral("'2000-01-01 00:00:00', '2100-01-01 00:00:00'");
        QStringList users = {
            "'Alice', 7, '2009-01-01 00:00:00', '2010-01-01 00:00:00'",
            "'Bob', 7, '2009-10-01 00:00:00', '2009-10-21 09:05:03'", // overlaps Alice
            "'Zofia W\u00f3jcik', 8, '2000-01-01', '2100-01-01'",
            "CAST(X'61FF62' AS TEXT), 9, " + always, // not UTF-8
            "'a' || char(0) || 'b', 10, " + always,
            "char(65534) || 'x', 11, " + always,
            "X'414243', 12, " + always,
            "NULL, 13, " + always,
            "'Late', 14, '2009-10-21T09:05:03', '2100-01-01 00:00:00'",
            "'Numbers', 15, 1000, 2000000000",
        };
        QStringList events = {
            "1234567, '2009-10-21 09:05:03', 7", // at Bob's end: Alice only
            "2, '2009-10-01 00:00:00', 7",       // at Bob's start: Alice only
            "3, '2009-10-20 08:00:00', 7",       // both
            "4, '2011-02-03 04:05:06', -1",      // nobody
            "5, '2009-03-29 02:30:00', 8",       // skipped spring hour
            "6, '2009-03-29 01:59:59', 8",
            "7, '2009-03-29 03:00:00', 8",
            "8, '2009-10-25 02:30:00', 8", // repeated autumn hour
            "9, '2009-10-21T09:05:03.5', 8",
            "10, '2009-10-21 09:05', 8",
            "11, '2009-10-21', 8",
            "12, ' 2009-10-21 09:05:03 ', 8",
            "13, '2009-02-30 10:00:00', 8",
            "14, '2009-10-21 09:65:03', 8",
            "15, '2009-10-21 24:00:00', 8",
            "16, '0999-10-21 09:05:03', 8",
            "17, NULL, 8",
            "18, 1256108703, 15",
            "19, 12.5, 15",
            "'abc', '2009-10-21 09:05:03', 8",
            "12.7, '2009-10-21 09:05:03', 8",
            "5000000000, '2009-10-21 09:05:03', 2147483648",
            "NULL, '2009-10-21 09:05:03', NULL",
        };
        for (int n = 9; n <= 14; ++n)
            events << QStringLiteral("%1, '2009-10-21 09:05:03', %1").arg(n);
        QStringList statements;
        for (const QString& u : users)
            statements << "INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES (" + u +
                              ")";
        for (const QString& e : events)
            statements << "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES (" + e +
                              ", '0')";
        QCOMPARE(testdb::exec(path, statements, true), QString());

        CDatabase db;
        db.OpenFile(path);
        // As the list printed it before: counted, then read in chunks.
        QByteArray before;
        {
            CZq6Set set(&db);
            set.Open();
            const qint64 rows = set.CountRows();
            for (const JoinedRow& row : set.FetchRows(0, int(rows))) {
                const RowTexts t = FormatRow(row.date, row.userNo, row.name, row.timer);
                for (const QString& text : {t.date, t.time, t.userNo, t.name, t.timer})
                    before += text.toUtf8().constData() + QByteArray("\t");
                before.back() = '\n';
            }
            set.Close();
        }
        QVERIFY(before.count('\n') > events.size());
        std::string streamed;
        ListLineWriter lines;
        StreamJoinedRows(db, [&](const JoinedRowValues& row) {
            lines.Append(streamed, row);
            return true;
        });
        QCOMPARE(QByteArray::fromStdString(streamed).split('\n'), before.split('\n'));
    }

    void appendedEventsAreStoredAsBefore()
    {
        QTemporaryDir dir;
        const QString path = makeDb(dir, "DATETIME", "DATETIME");
        QVERIFY(!path.isEmpty());
        const QVector<NewEvent> events = {
            {1, CTime(1256108703), 7, QString()},
            {2, CTime::Invalid(), -1, QStringLiteral("")},
            {3, CTime(1256430600 + 3600), 510, QStringLiteral("\u017c") + QChar(0) + "x"},
            {4194303, CTime(-5000000000), 0, QStringLiteral("1")},
            {5, CTime(1238290200), 1, QStringLiteral("0")},
            {6, CTime(-40000000000), 2, QStringLiteral("0")}};
        CDatabase db;
        db.OpenFile(path);
        CEVENTS record(&db);
        record.Open();
        AppendEventBatch(record, events);
        QCOMPARE(record.m_INDEX, 6);
        QCOMPARE(record.m_TIMER, 6);
        const QString stored =
            testdb::scalar(path, "SELECT group_concat(\"INDEX\" || '|' || TIMER || '|' || "
                                 "quote(DATE) || '|' || USER_NO || '|' || typeof(BUTTON) || ' ' "
                                 "|| hex(BUTTON), ';') FROM EVENTS")
                .toString();
        QCOMPARE(stored.split(';'),
                 (QStringList{"1|1|'2009-10-21 09:05:03'|7|null ", "2|2|NULL|-1|text ",
                              "3|3|'2009-10-25 02:30:00'|510|text C5BC0078",
                              "4|4194303|'1811-07-23 16:00:08'|0|text 31",
                              "5|5|'2009-03-29 03:30:00'|1|text 30",
                              "6|6|'" + CTime(-40000000000).ToDbText() + "'|2|text 30"}));
    }

    void connectionString()
    {
        QCOMPARE(BuildConnectString(QStringLiteral("C:\\Data\\my events.mdb")),
                 QStringLiteral("DSN=ZQreader;DBQ=C:\\Data\\my events.mdb;DriverId=25;FIL=MS "
                                "Access;MaxBufferSize=2048;PageTimeout=5;UID=admin;"));
        QCOMPARE(BuildConnectString({}),
                 QStringLiteral("DSN=ZQreader;DBQ=;DriverId=25;FIL=MS Access;MaxBufferSize=2048;"
                                "PageTimeout=5;UID=admin;"));
    }

    void passwordsAreTakenOut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("client library's string") << "host='h' password='p w\\'1' x"
                                                 << "host='h'  x";
        QTest::newRow("ODBC, braced") << "DSN=a;PWD={x;y}}z};UID=b"
                                      << "DSN=a;UID=b";
        QTest::newRow("ODBC, Password") << "DBQ=/x.db;Password=abc"
                                        << "DBQ=/x.db;";
        QTest::newRow("'@' in it") << "postgresql://u:a@b@h/db"
                                   << "postgresql://u@h/db";
        QTest::newRow("parameter, any case") << "postgresql://u@h/db?x=1&PASSWORD=abc&y=2"
                                             << "postgresql://u@h/db?x=1&y=2";
        QTest::newRow("encoded name") << "postgresql://h/db?pass%2577ord=abc"
                                      << "postgresql://h/db?";
        QTest::newRow("encoded '='") << "postgresql://h/db?password%3Dabc"
                                     << "postgresql://h/db?";
        QTest::newRow("echoed") << "option \"password=abc\" is invalid"
                                << "option \"\" is invalid";
        QTest::newRow("nothing to take") << "postgresql://u@h:5432/db?options=-c%20x%3Dy"
                                         << "postgresql://u@h:5432/db?options=-c%20x%3Dy";
        // A password may hold what no address does: all of it goes.
        const QString server = QStringLiteral("postgresql://zq:%1@127.0.0.1:55432/zqa");
        const QString taken = QStringLiteral("postgresql://zq@127.0.0.1:55432/zqa");
        for (const auto& [what, inside] : {std::pair{"space", " "},
                                           {"tab", "\t"},
                                           {"no-break space", "\u00a0"},
                                           {"quote", "\""},
                                           {"'@' and a space", "@ "}})
            QTest::addRow("%s in it", what)
                << server.arg(QStringLiteral("my") + QString::fromUtf8(inside) + "secret") << taken;
        QTest::newRow("space, quoted in a message")
            << "\"" + server.arg("my secret") +
                   "\" is not a server address of the form "
                   "postgresql://[user@]host[:port]/database."
            << "\"" + taken +
                   "\" is not a server address of the form "
                   "postgresql://[user@]host[:port]/database.";
        QTest::newRow("parameter with a space") << taken + "?password=my secret" << taken + "?";
        QTest::newRow("parameter with a space and a quote, then another")
            << taken + "?password=my \"secret&x=1" << taken + "?x=1";
        QTest::newRow("ODBC, space, '&' and '#'") << "DSN=a;PWD=my &secret#;UID=b"
                                                  << "DSN=a;UID=b";
        QTest::newRow("ODBC, quotes") << "DSN=a;PWD='my' secret;UID=b"
                                      << "DSN=a;UID=b";
        QTest::newRow("driver's options, quoted ';'") << "sslpassword='my;secret';x='1'"
                                                      << "x='1'";
        QTest::newRow("echoed, quote in it") << "option \"password=my\"secret\" is invalid"
                                             << "option \"\" is invalid";
    }

    void passwordsAreTakenOut()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(WithoutPasswords(text), shown);
        // A location shows none, whether it can be understood or not.
        if (text.startsWith(QLatin1String("postgresql://")))
            QVERIFY(!ShownLocation(text).contains(QLatin1String("secret")));
        QVERIFY(!ShownLocation("odbc:" + text).contains(QLatin1String("secret")));
        // What the settings keep of an address has none either.
        QCOMPARE(Location::Parse("postgresql://u@h/db?PassWord=a&sslpassword=k&options=o").Kept(),
                 QStringLiteral("postgresql://u@h/db?options=o"));
    }
};

QTEST_GUILESS_MAIN(TestDbValues)
#include "test_db_values.moc"
