// Date-times as stored and shown, the row texts and the connection string.

#include "db/connectstring.h"
#include "db/ctime.h"
#include "db/rowtext.h"

#include <QTest>
#include <ctime>

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

    void connectionString()
    {
        QCOMPARE(BuildConnectString(QStringLiteral("C:\\Data\\my events.mdb")),
                 QStringLiteral("DSN=ZQreader;DBQ=C:\\Data\\my events.mdb;DriverId=25;FIL=MS "
                                "Access;MaxBufferSize=2048;PageTimeout=5;UID=admin;"));
        QCOMPARE(BuildConnectString({}),
                 QStringLiteral("DSN=ZQreader;DBQ=;DriverId=25;FIL=MS Access;MaxBufferSize=2048;"
                                "PageTimeout=5;UID=admin;"));
    }
};

QTEST_GUILESS_MAIN(TestDbValues)
#include "test_db_values.moc"
