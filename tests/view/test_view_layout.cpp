// The event list's arithmetic: which rows a band of the content reaches, and
// how tall the content is.

#include "view/viewlayout.h"

#include <QTest>

class TestViewLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsInBand_data()
    {
        QTest::addColumn<qint64>("top");
        QTest::addColumn<qint64>("height");
        QTest::addColumn<int>("lineHeight");
        QTest::addColumn<qint64>("rows");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("count");

        // 1,000 rows at 16 pixels, scrolled to 800, a band 1,024 deep: rows 50
        // to 113. Row 49 ends exactly at the top, row 114 starts exactly at
        // the bottom: neither is in the band.
        QTest::newRow("1000 rows at 800")
            << qint64(800) << qint64(1024) << 16 << qint64(1000) << qint64(50) << qint64(64);
        QTest::newRow("one pixel lower")
            << qint64(801) << qint64(1024) << 16 << qint64(1000) << qint64(50) << qint64(65);
        QTest::newRow("one pixel higher")
            << qint64(799) << qint64(1024) << 16 << qint64(1000) << qint64(49) << qint64(65);
        QTest::newRow("top of the list")
            << qint64(0) << qint64(300) << 16 << qint64(1000) << qint64(0) << qint64(19);
        QTest::newRow("band past the last row")
            << qint64(15900) << qint64(1024) << 16 << qint64(1000) << qint64(993) << qint64(7);
        QTest::newRow("below every row")
            << qint64(16000) << qint64(300) << 16 << qint64(1000) << qint64(1000) << qint64(0);
        QTest::newRow("no rows") << qint64(0) << qint64(300) << 16 << qint64(0) << qint64(0)
                                 << qint64(0);
        QTest::newRow("empty band")
            << qint64(800) << qint64(0) << 16 << qint64(1000) << qint64(50) << qint64(0);
        QTest::newRow("a million rows near the end")
            << qint64(15999000) << qint64(700) << 16 << qint64(1000000) << qint64(999937)
            << qint64(45);
    }

    void rowsInBand()
    {
        QFETCH(qint64, top);
        QFETCH(qint64, height);
        QFETCH(int, lineHeight);
        QFETCH(qint64, rows);
        QFETCH(qint64, first);
        QFETCH(qint64, count);
        const RowBand band = VisibleRows(top, height, lineHeight, rows);
        QCOMPARE(band.count, count);
        if (count)
            QCOMPARE(band.first, first);
    }

    void contentIsOneLineTallerThanTheRows()
    {
        QCOMPARE(ContentHeight(3, 16), qint64(64));
        QCOMPARE(ContentHeight(0, 16), qint64(16));
        QCOMPARE(ContentHeight(1000000, 16), qint64(16000016));
    }

    void columnsStartAtFixedPositions()
    {
        QCOMPARE(kColumnX, (std::array<int, 5>{0, 90, 160, 220, 450}));
    }
};

QTEST_APPLESS_MAIN(TestViewLayout)
#include "test_view_layout.moc"
