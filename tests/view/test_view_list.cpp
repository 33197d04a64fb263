// The event list on real database files: what it draws, where, how tall it
// is, and how it keeps going when the database fails.

#include "db/backgroundcount.h"
#include "db/commitcounter.h"
#include "db/joinstamp.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/record/events.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "formats/rowtext.h"
#include "tests/support/guitest.h"
#include "view/eventlistview.h"
#include "view/viewlayout.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

namespace {

struct Drawn
{
    int x;
    int y;
    QString text;
};

// The view with every text it draws recorded.
class RecordingView : public EventListView
{
public:
    using EventListView::EventListView;

    QVector<Drawn> Paint()
    {
        drawn.clear();
        viewport()->repaint();
        return drawn;
    }

    QVector<Drawn> drawn;

    void DrawText(QPainter& painter, int x, int y, const QString& text, int clipRight)
    {
        EventListView::DrawClippedText(painter, x, y, text, clipRight);
    }

protected:
    void DrawClippedText(QPainter& painter, int x, int y, const QString& text,
                         int clipRight) override
    {
        drawn.append({x, y, text});
        EventListView::DrawClippedText(painter, x, y, text, clipRight);
    }
};

QStringList TextsAt(const QVector<Drawn>& drawn, int y)
{
    QStringList texts;
    for (const Drawn& d : drawn) {
        if (d.y == y)
            texts << d.text;
    }
    return texts;
}

// A document with its list on screen, after the list's initial update.
struct ShownList
{
    guitest::RecordingSink sink;
    CZq6Doc doc{&sink};
    RecordingView view{&doc};

    // Opens path (none: no database) and shows the list at that size.
    bool Show(const QString& path, int width, int height)
    {
        if (!path.isEmpty() && !doc.OnOpenDocument(path))
            return false;
        view.resize(width, height);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            return false;
        view.ShowFromStart();
        return true;
    }
};

// The rows a paint drew, five texts each, and the row number of the first.
QVector<QStringList> RowsDrawn(RecordingView& view, qint64* first)
{
    const qint64 top = view.verticalScrollBar()->value();
    const QVector<Drawn> drawn = view.Paint();
    *first = VisibleRows(top, view.viewport()->height(), view.LineHeight(), view.RowCount()).first;
    QVector<QStringList> rows(drawn.size() / 5);
    for (int i = 0; i < drawn.size(); ++i)
        rows[i / 5] << drawn.at(i).text;
    return rows;
}

// With each of the rows at the top of the list in turn, a paint draws the
// rows of all from its first row on.
void CompareRowsDrawnAt(RecordingView& view, const QVector<QStringList>& all,
                        const QList<qint64>& tops)
{
    for (qint64 row : tops) {
        view.verticalScrollBar()->setValue(int(row * view.LineHeight())); // the last is held
        qint64 first = 0;
        const QVector<QStringList> drawn = RowsDrawn(view, &first);
        QVERIFY(!drawn.isEmpty());
        QCOMPARE(drawn, all.mid(first, drawn.size()));
    }
}

// Every row of the joined set as the list writes it, read straight from the
// file in list order.
QVector<QStringList> JoinedTexts(const QString& path)
{
    QVector<QStringList> rows;
    CDatabase unused;
    const QString sql = QStringLiteral("SELECT EVENTS.DATE, EVENTS.USER_NO, USERS.NAME, "
                                       "EVENTS.TIMER FROM ") +
                        CZq6Set(&unused).GetDefaultSQL() +
                        QStringLiteral(" ORDER BY EVENTS.[INDEX], USERS.[INDEX]");
    for (const QVariantList& v : testdb::rows(path, sql)) {
        const RowTexts t = FormatRow(CTime::FromDbText(v.at(0).toString()), v.at(1).toInt(),
                                     v.at(2).toString(), v.at(3).toInt());
        // The numbers are drawn right-aligned, without the padding of the lines.
        rows.append({t.date, t.time, t.userNo.trimmed(), t.name, t.timer.trimmed()});
    }
    return rows;
}

// The event INDEX of every row of the joined set, in list order.
QVector<qint64> JoinedEvents(const QString& path)
{
    QVector<qint64> events;
    CDatabase unused;
    for (const QVariantList& v :
         testdb::rows(path, QStringLiteral("SELECT EVENTS.[INDEX] FROM ") +
                                CZq6Set(&unused).GetDefaultSQL() +
                                QStringLiteral(" ORDER BY EVENTS.[INDEX], USERS.[INDEX]")))
        events.append(v.at(0).toLongLong());
    return events;
}

// Keeps counts on the worker thread from ending while it lives.
struct HeldCount
{
    HeldCount() { BackgroundCount::Hold(true); }
    ~HeldCount() { BackgroundCount::Hold(false); }
    HeldCount(const HeldCount&) = delete;
    HeldCount& operator=(const HeldCount&) = delete;
};

QString User(const char* name, int userNo, const char* start, const char* stop)
{
    return QStringLiteral("INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                          "VALUES ('%1', %2, '2009-10-21 %3', '2009-10-21 %4')")
        .arg(QLatin1String(name))
        .arg(userNo)
        .arg(QLatin1String(start), QLatin1String(stop));
}

// Sets the key of the last cell of the root page of EVENTS to one more than
// the key before it. A scan of the table still finds every row, but a read
// from an INDEX the leaf before the last holds lands in the last leaf;
// PRAGMA quick_check reports the rows out of order.
bool MisplaceLastDivider(const QString& path)
{
    const QVector<QVariantList> found = testdb::rows(
        path, QStringLiteral("SELECT rootpage, page_size FROM sqlite_master, pragma_page_size "
                             "WHERE name = 'EVENTS'"));
    QFile file(path);
    if (found.size() != 1 || !file.open(QIODevice::ReadWrite))
        return false;
    const qint64 pageSize = found.first().at(1).toLongLong();
    const qint64 start = (found.first().at(0).toLongLong() - 1) * pageSize;
    QByteArray page = (file.seek(start) ? file.read(pageSize) : QByteArray());
    const auto byte = [&](qint64 i) { return quint8(page.at(i)); };
    // An interior page of a table: type 5, the number of cells at 3, their
    // offsets from 12; a cell is the child's page number and the key, a
    // varint of two bytes for these keys.
    const int cells = page.size() == pageSize ? (byte(3) << 8) | byte(4) : 0;
    if (cells < 2 || byte(0) != 5)
        return false;
    const auto keyAt = [&](int cell) {
        return ((byte(12 + 2 * cell) << 8) | byte(13 + 2 * cell)) + 4;
    };
    const int before = keyAt(cells - 2);
    const int last = keyAt(cells - 1);
    if ((byte(before) & 0x80) == 0 || (byte(last) & 0x80) == 0)
        return false;
    const int key = (((byte(before) & 0x7f) << 7) | (byte(before + 1) & 0x7f)) + 1;
    page[last] = char(0x80 | (key >> 7));
    page[last + 1] = char(key & 0x7f);
    return file.seek(start) && file.write(page) == pageSize;
}

} // namespace

class TestViewList : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;
    QString m_large;
    QString m_doubled;      // every event two rows, counted at once
    QString m_doubledLarge; // the same, counted on the worker thread
    static constexpr int kToFirst = -1000000;
    static constexpr int kToLast = 1000000;
    static constexpr int kPageDown = 2000000;
    static constexpr int kPageUp = -2000000;

    QString NewDatabase(int events = 0)
    {
        const QString path = m_dir.filePath(QStringLiteral("list%1.db").arg(++m_files));
        if (!testdb::copyTemplate(path))
            return {};
        if (events && !guitest::AddEvents(path, events).isEmpty())
            return {};
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void noDatabaseShowsHowToStart()
    {
        ShownList list;
        QVERIFY(list.Show(QString(), 400, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;

        QCOMPARE(view.RowCount(), qint64(0));
        QCOMPARE(view.ContentHeight(), qint64(view.LineHeight()));
        QCOMPARE(view.verticalScrollBar()->maximum(), 0);
        const QVector<Drawn> hint = view.Paint();
        QCOMPARE(hint.size(), 1);
        QCOMPARE(hint.first().text,
                 QStringLiteral("File > New Database or File > Open Database..."));

        // Gone once a database is open, even one without events.
        const QString path = NewDatabase();
        QVERIFY(doc.OnOpenDocument(path));
        view.ShowFromStart();
        QVERIFY(view.Paint().isEmpty());
        QVERIFY(sink.messages.isEmpty());
    }

    void anotherDatabaseOpensAtItsFirstRow()
    {
        const QString first = NewDatabase(1000);
        const QString second = NewDatabase(1000);
        ShownList list;
        QVERIFY(!second.isEmpty() && list.Show(first, 600, 300));
        list.view.verticalScrollBar()->setValue(500 * list.view.LineHeight());
        QVERIFY(!list.view.Paint().isEmpty());

        QVERIFY(list.doc.OnOpenDocument(second));
        list.view.ShowFromStart();
        QCOMPARE(list.view.verticalScrollBar()->value(), 0);
    }

    // Every key of a list, on one counted at once and on one still being
    // counted, whose lines stand for event INDEX values; every event has two
    // rows, so that the last events do not fill the last screen.
    void keysMoveThroughTheList_data()
    {
        QTest::addColumn<bool>("counted");
        QTest::addColumn<int>("key"); // 0: the wheel turned one notch towards the user
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("moved"); // kToFirst, kToLast, kPageDown, kPageUp or lines
        for (bool counted : {true, false}) {
            const auto add = [counted](const char* name, int key, int modifiers, int moved) {
                QTest::addRow("%s, %s", counted ? "counted" : "being counted", name)
                    << counted << key << modifiers << moved;
            };
            add("Home", Qt::Key_Home, 0, kToFirst);
            add("Ctrl+Home", Qt::Key_Home, Qt::ControlModifier, kToFirst);
            add("End", Qt::Key_End, 0, kToLast);
            add("Ctrl+End", Qt::Key_End, Qt::ControlModifier, kToLast);
            add("PageDown", Qt::Key_PageDown, 0, kPageDown);
            add("PageUp", Qt::Key_PageUp, 0, kPageUp);
            add("Down", Qt::Key_Down, 0, 1);
            add("Up", Qt::Key_Up, 0, -1);
            add("wheel", 0, 0, QApplication::wheelScrollLines());
        }
    }

    void keysMoveThroughTheList()
    {
        QFETCH(bool, counted);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, moved);
        QString& path = counted ? m_doubled : m_doubledLarge;
        if (path.isEmpty()) { // below and above the number of events counted at once
            path = NewDatabase(counted ? 3000 : 5000);
            QCOMPARE(testdb::exec(path, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                         "SELECT name, n, '2009-01-01', '2010-01-01' FROM (SELECT "
                                         "'Ann' AS name UNION SELECT 'Ada'), (SELECT 1 AS n UNION "
                                         "SELECT 2 UNION SELECT 3 UNION SELECT 4 UNION SELECT 5)"}),
                     QString());
        }
        const QVector<QStringList> all = JoinedTexts(path);
        HeldCount held;
        ShownList list;
        QVERIFY(list.Show(path, 600, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;
        QCOMPARE(view.IsRowCountExact(), counted);
        QScrollBar* bar = view.verticalScrollBar();
        const int middle = bar->maximum() / 2;
        bar->setValue(middle);
        view.Paint();

        if (key) {
            QTest::keyClick(&view, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        } else {
            QWheelEvent wheel(QPointF(10, 10), view.viewport()->mapToGlobal(QPointF(10, 10)),
                              QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QVERIFY(QApplication::sendEvent(view.viewport(), &wheel));
        }
        qint64 first = 0;
        const QVector<QStringList> drawn = RowsDrawn(view, &first);
        QVERIFY(!drawn.isEmpty());
        const int page = view.viewport()->height();
        if (moved == kToFirst)
            QCOMPARE(drawn.constFirst(), all.constFirst());
        else if (moved == kToLast)
            QCOMPARE(drawn, all.mid(all.size() - drawn.size()));
        QCOMPARE(bar->value(), moved == kToFirst    ? 0
                               : moved == kToLast   ? bar->maximum()
                               : moved == kPageDown ? middle + page
                               : moved == kPageUp   ? middle - page
                                                    : middle + moved * view.LineHeight());
        if (counted)
            QCOMPARE(drawn, all.mid(first, drawn.size()));
    }

    void databaseWithoutEventsShowsNothing()
    {
        const QString path = NewDatabase();
        QVERIFY(!path.isEmpty());
        ShownList list;
        QVERIFY(list.Show(path, 400, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;

        QCOMPARE(view.RowCount(), qint64(0));
        QCOMPARE(view.ContentHeight(), qint64(view.LineHeight()));
        QVERIFY(view.Paint().isEmpty());
    }

    void scrollSizesFollowRowsAndWindow()
    {
        const QString path = NewDatabase(3);
        QVERIFY(!path.isEmpty());
        ShownList list;
        QVERIFY(list.Show(path, 400, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;

        const int lh = view.LineHeight();
        QCOMPARE(view.RowCount(), qint64(3));
        QCOMPARE(view.ContentHeight(), qint64(4 * lh));
        QCOMPARE(view.verticalScrollBar()->pageStep(), view.viewport()->height());
        QCOMPARE(view.verticalScrollBar()->singleStep(), lh);
        QCOMPARE(view.verticalScrollBar()->maximum(), 0); // everything fits
        // Narrower than the columns: the rest is a scroll away, header and rows alike.
        QScrollBar* across = view.horizontalScrollBar();
        QCOMPARE(across->maximum(), view.Header()->length() - view.viewport()->width());
        across->setValue(across->maximum());
        QCOMPARE(view.Header()->offset(), across->maximum());
        QCOMPARE(view.ColumnLeft(EventListView::DateColumn), -across->maximum());
        view.resize(view.Header()->length() + 40, 300);
        QCOMPARE(across->maximum(), 0);

        // A smaller window changes the page, not the content.
        view.resize(400, 2 * lh + view.frameWidth() * 2);
        QCOMPARE(view.verticalScrollBar()->pageStep(), view.viewport()->height());
        QCOMPARE(view.ContentHeight(), qint64(4 * lh));
        QCOMPARE(view.verticalScrollBar()->maximum(), 4 * lh - view.viewport()->height());
    }

    void textsOfARow()
    {
        const QString path = NewDatabase();
        QVERIFY(!path.isEmpty());
        QCOMPARE(
            testdb::exec(path, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES "
                                "('Carla' || char(9) || 'Mendes', 7, '2009-01-01 00:00:00', "
                                "'2010-01-01 00:00:00')",
                                "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                "(4194303, '2009-10-21 09:05:03', 7, '1'), "
                                "(5, '2009-10-21 23:59:59', -1, '0'), "
                                "(123456, '2010-02-03 04:05:06', 7, '0')"}),
            QString());
        ShownList list;
        QVERIFY(list.Show(path, 600, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;

        const QVector<Drawn> drawn = view.Paint();
        const int lh = view.LineHeight();
        QCOMPARE(drawn.size(), 15);
        // Five texts a row, top-left at the row's band, in the columns of the
        // header (at least as wide as the list's columns always were): texts
        // from the left of their column, numbers ending at its right.
        const QFontMetrics fm(view.font());
        for (int i = 0; i < drawn.size(); ++i) {
            const int c = i % 5;
            const int left = view.ColumnLeft(c);
            QVERIFY(left >= kColumnX[c]);
            QCOMPARE(drawn.at(i).y, (i / 5) * lh);
            const bool number = c == EventListView::UserNoColumn || c == EventListView::TimerColumn;
            if (number)
                QVERIFY(qAbs(drawn.at(i).x + fm.horizontalAdvance(drawn.at(i).text) -
                             (left + view.ColumnWidth(c) - 3)) <= 1);
            else
                QCOMPARE(drawn.at(i).x, left + 3);
        }
        QCOMPARE(TextsAt(drawn, 0),
                 (QStringList{"2009-10-21", "09:05:03", "7", "Carla\\tMendes", "4194303"}));
        // No user -1: the name is empty, the number is shown.
        QCOMPARE(TextsAt(drawn, lh), (QStringList{"2009-10-21", "23:59:59", "-1", "", "5"}));
        // User 7 is not valid any more at that date.
        QCOMPARE(TextsAt(drawn, 2 * lh),
                 (QStringList{"2010-02-03", "04:05:06", "7", "", "123456"}));
    }

    void textsLookAsDrawTextDrawsThem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("clipRight"); // 0: none
        QTest::newRow("date") << QStringLiteral("2009-10-21") << 90;
        QTest::newRow("time") << QStringLiteral("07:05:39") << 160;
        QTest::newRow("number") << QStringLiteral("   -17") << 220;
        QTest::newRow("last column") << QStringLiteral(" 48213") << 0;
        QTest::newRow("name") << QStringLiteral("Zo\u00eb M\u00fcller") << 450;
        QTest::newRow("too wide") << QStringLiteral("1234567890123456789:-") << 90;
        QTest::newRow("name too wide") << QString(40, QLatin1Char('W')) << 450;
    }

    void textsLookAsDrawTextDrawsThem()
    {
        QFETCH(QString, text);
        QFETCH(int, clipRight);
        guitest::RecordingSink sink;
        CZq6Doc doc(&sink);
        RecordingView view(&doc);
        const int x = clipRight > 0 ? clipRight - 70 : 450;
        auto draw = [&](bool plain) {
            QImage image(600, 40, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setFont(view.font());
            if (!plain) {
                view.DrawText(painter, x, 10, text, clipRight);
                return image;
            }
            const QFontMetrics fm(view.font());
            if (clipRight > x)
                painter.setClipRect(QRect(x, 10, clipRight - x, view.LineHeight()));
            painter.drawText(QPoint(x, 10 + fm.ascent()), text);
            return image;
        };
        QCOMPARE(draw(false), draw(true));
    }

    void paintDrawsOnlyTheRowsInView()
    {
        const QString path = NewDatabase(1000);
        QVERIFY(!path.isEmpty());
        ShownList list;
        QVERIFY(list.Show(path, 600, 400));
        [[maybe_unused]] auto& [sink, doc, view] = list;
        QCOMPARE(view.RowCount(), qint64(1000));
        const int lh = view.LineHeight();
        QCOMPARE(view.verticalScrollBar()->maximum(), 1001 * lh - view.viewport()->height());

        for (int top : {0, 800, 801, 1001 * lh - view.viewport()->height()}) {
            view.verticalScrollBar()->setValue(top);
            const QVector<Drawn> drawn = view.Paint();
            const RowBand band = VisibleRows(top, view.viewport()->height(), lh, 1000);
            QVERIFY(band.count > 0);
            QCOMPARE(drawn.size(), int(band.count) * 5);
            // Each row at its place in the content, its own timer (1000 + row).
            for (qint64 i = 0; i < band.count; ++i) {
                const Drawn& timer = drawn.at(int(i) * 5 + 4);
                QCOMPARE(timer.y, int((band.first + i) * lh - top));
                QCOMPARE(timer.text, QString::number(1000 + band.first + i));
            }
        }
    }

    void newRowsKeepTheScrollPosition()
    {
        const QString path = NewDatabase(1000);
        QVERIFY(!path.isEmpty());
        ShownList list;
        QVERIFY(list.Show(path, 600, 400));
        [[maybe_unused]] auto& [sink, doc, view] = list;
        const int lh = view.LineHeight();
        view.verticalScrollBar()->setValue(500 * lh);

        // What a download does: the set closed while rows are appended on a
        // connection of its own, opened again, then the views told.
        g_pSet->Close();
        QCOMPARE(guitest::AddEvents(path, 10, 5000), QString());
        g_pSet->Open();
        doc.UpdateAllViews();

        QCOMPARE(view.RowCount(), qint64(1010));
        QCOMPARE(view.ContentHeight(), qint64(1011 * lh));
        QCOMPARE(view.verticalScrollBar()->value(), 500 * lh);

        // The new rows are at the end.
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        const QVector<Drawn> drawn = view.Paint();
        QVERIFY(!drawn.isEmpty());
        QCOMPARE(drawn.constLast().text, QStringLiteral("5009"));
        QVERIFY(sink.messages.isEmpty());
    }

    void rowsFollowWhatAnotherProgramChanged_data()
    {
        QTest::addColumn<QStringList>("change");
        QTest::addColumn<bool>("update"); // false: no Read events, the next paint finds it
        const QStringList overlapping{User("Dee", 3, "08:00:00", "12:00:00"),
                                      User("Eve", 3, "10:00:00", "15:00:00")};
        const QString append = "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) SELECT TIMER + "
                               "5000, datetime(DATE, '+1 hour'), USER_NO, BUTTON FROM EVENTS";
        QTest::newRow("nothing") << QStringList{} << true;
        QTest::newRow("users added") << overlapping << true;
        QTest::newRow("users added, no update") << overlapping << false;
        QTest::newRow("period changed")
            << QStringList{"UPDATE USERS SET DATE_STOP = '2009-10-21 10:00:00' WHERE NAME = 'Cid'"}
            << true;
        QTest::newRow("user removed")
            << QStringList{"DELETE FROM USERS WHERE NAME = 'Cid'"} << true;
        QTest::newRow("events deleted")
            << QStringList{"DELETE FROM EVENTS WHERE [INDEX] BETWEEN 40 AND 90"} << true;
        QTest::newRow("events appended") << QStringList{append} << true;
        QTest::newRow("users added, events appended") << overlapping + QStringList{append} << true;
    }

    void rowsFollowWhatAnotherProgramChanged()
    {
        QFETCH(QStringList, change);
        QFETCH(bool, update);
        const QString path = NewDatabase(244);
        QVERIFY(!path.isEmpty());
        QCOMPARE(testdb::exec(path, {User("Ann", 1, "09:00:00", "14:00:00"),
                                     User("Ben", 2, "09:00:00", "14:00:00"),
                                     User("Cid", 2, "09:30:00", "12:00:00")}),
                 QString());
        ShownList list;
        QVERIFY(list.Show(path, 600, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;
        QVERIFY(!view.Paint().isEmpty());

        QCOMPARE(testdb::exec(path, change), QString());
        if (update) { // what Read events does afterwards
            g_pSet->Requery();
            doc.UpdateAllViews();
        } else {
            view.Paint();
        }

        const QVector<QStringList> all = JoinedTexts(path);
        QCOMPARE(view.RowCount(), qint64(all.size()));
        CompareRowsDrawnAt(view, all, {0, 127, 128, 129, all.size() / 2, all.size()});
        QVERIFY(sink.messages.isEmpty());
    }

    // Too many events to count at once: the list shows them by event INDEX
    // until the worker's count is there, then by row number, and the top row
    // stays where it was.
    void largeListsAreRightBeforeAndAfterTheCount_data()
    {
        QTest::addColumn<int>("line"); // the top line; -1: the last one
        for (int line : {0, 1, 200, 4000, 6500, -1})
            QTest::addRow("line %d", line) << line;
    }

    void largeListsAreRightBeforeAndAfterTheCount()
    {
        QFETCH(int, line);
        if (m_large.isEmpty()) {
            m_large = NewDatabase(7000);
            // Two users for a part of the events: two rows each.
            QCOMPARE(testdb::exec(m_large, {User("Ann", 1, "09:00:00", "23:00:00"),
                                            User("Ada", 1, "10:00:00", "22:00:00"),
                                            "DELETE FROM EVENTS WHERE [INDEX] BETWEEN 3000 AND "
                                            "3500"}),
                     QString());
        }
        const QVector<QStringList> all = JoinedTexts(m_large);
        const QVector<qint64> events = JoinedEvents(m_large);
        QVERIFY(all.size() > 7000 - 501 + 100); // over a hundred events have two rows

        HeldCount held;
        ShownList list;
        QVERIFY(list.Show(m_large, 600, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;
        QVERIFY(!view.IsRowCountExact());
        QCOMPARE(view.RowCount(), events.constLast() - events.constFirst() + 1);

        const int lh = view.LineHeight();
        QScrollBar* bar = view.verticalScrollBar();
        bar->setValue(line < 0 ? bar->maximum() : line * lh + lh / 2);
        const qint64 top = bar->value();
        const QVector<Drawn> before = view.Paint();
        // The rows from the first one of the top line's event on, or the last.
        const qint64 lines = VisibleRows(top, view.viewport()->height(), lh, view.RowCount()).count;
        qint64 first =
            std::lower_bound(events.cbegin(), events.cend(), events.constFirst() + top / lh) -
            events.cbegin();
        first = std::min<qint64>(first, all.size() - lines);
        QCOMPARE(before.size(), int(lines) * 5);
        for (int i = 0; i < before.size(); ++i) {
            QCOMPARE(before.at(i).text, all.at(first + i / 5).at(i % 5));
            QCOMPARE(before.at(i).y, int((top / lh + i / 5) * lh - top));
        }

        BackgroundCount::Hold(false);
        QTRY_VERIFY(view.IsRowCountExact());
        QCOMPARE(view.RowCount(), qint64(all.size()));
        if (line >= 0) { // the same rows at the same places
            const QVector<Drawn> after = view.Paint();
            QCOMPARE(after.size(), before.size());
            for (int i = 0; i < after.size(); ++i) {
                QCOMPARE(after.at(i).text, before.at(i).text);
                QCOMPARE(after.at(i).y, before.at(i).y);
            }
        }
        CompareRowsDrawnAt(view, all, {0, 127, first, all.size()});
        QVERIFY(sink.messages.isEmpty());
    }

    // A row shown and marked while the list stands for event INDEX stays
    // marked, at its place, once the rows are counted.
    void aMarkedRowKeepsItsPlaceThroughTheCount()
    {
        const QString path = NewDatabase(6000);
        QVERIFY(!path.isEmpty());
        QCOMPARE(testdb::exec(path, {User("Ann", 1, "09:00:00", "23:00:00"),
                                     User("Ada", 1, "10:00:00", "22:00:00")}),
                 QString());
        HeldCount held;
        ShownList list;
        QVERIFY(list.Show(path, 600, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;
        QVERIFY(!view.IsRowCountExact());
        const int lh = view.LineHeight();
        // Event 101 (10:40, number 1) has a row for Ann and one for Ada.
        const auto markedOnSecondLine = [&] {
            const QImage image = view.viewport()->grab().toImage();
            const QColor first = image.pixelColor(2, lh / 2);
            return first != image.pixelColor(2, lh + lh / 2) &&
                   first == image.pixelColor(2, 2 * lh + lh / 2);
        };
        view.ShowRow({101, 1});
        QCOMPARE(view.verticalScrollBar()->value(), 100 * lh);
        QVERIFY(markedOnSecondLine());
        const std::optional<JoinMark> top = view.TopRow();
        QVERIFY(top && top->eventIndex == 101 && top->skip == 0);

        BackgroundCount::Hold(false);
        QTRY_VERIFY(view.IsRowCountExact());
        // Seven events before it have two rows each.
        QCOMPARE(view.verticalScrollBar()->value(), 107 * lh);
        QVERIFY(markedOnSecondLine());
        QVERIFY(sink.messages.isEmpty());
    }

    void aMarkedEventRemovedByAnotherProgramIsNotMarked()
    {
        const QString path = NewDatabase(40);
        QVERIFY(!path.isEmpty());
        ShownList list;
        QVERIFY(list.Show(path, 600, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;
        const int lh = view.LineHeight();
        const auto topMarked = [&] {
            const QImage image = view.viewport()->grab().toImage();
            return image.pixelColor(2, lh / 2) != image.pixelColor(2, lh + lh / 2);
        };
        view.ShowRow({5, 0});
        QVERIFY(topMarked());
        QCOMPARE(testdb::exec(path, {"DELETE FROM EVENTS WHERE [INDEX] = 5"}), QString());
        view.Paint(); // finds the change and counts again
        QCOMPARE(view.RowCount(), qint64(39));
        QVERIFY(!topMarked());
    }

    // The database closed or another one opened while the worker counts.
    void anotherDatabaseWhileCounting_data()
    {
        QTest::addColumn<int>("next"); // 0: none, 1: a small one, 2: the same again
        QTest::newRow("closed") << 0;
        QTest::newRow("a small one opened") << 1;
        QTest::newRow("the same opened again") << 2;
    }

    void anotherDatabaseWhileCounting()
    {
        QFETCH(int, next);
        const QString large = NewDatabase(6000);
        const QString small = NewDatabase(10);
        QVERIFY(!large.isEmpty() && !small.isEmpty());
        HeldCount held;
        auto list = std::make_unique<ShownList>();
        QVERIFY(list->Show(large, 600, 300));
        QVERIFY(!list->view.IsRowCountExact());
        if (next == 0) {
            list.reset(); // the program ends
            return;
        }
        QVERIFY(list->doc.OnOpenDocument(next == 1 ? small : large));
        list->view.ShowFromStart();
        BackgroundCount::Hold(false);
        QTRY_VERIFY(list->view.IsRowCountExact());
        QCOMPARE(list->view.RowCount(), next == 1 ? qint64(10) : qint64(6000));
        QTest::qWait(50); // any count of the first one would arrive now
        QCOMPARE(list->view.RowCount(), next == 1 ? qint64(10) : qint64(6000));
        QVERIFY(list->sink.messages.isEmpty());
    }

    // Events appended by this program's own download are taken for what they
    // are without reading the tables; any other commit in between is not.
    void ownAppendsAreToldWithoutReadingTheTables_data()
    {
        QTest::addColumn<QString>("foreign"); // committed by another program first
        QTest::addColumn<bool>("checked");    // whether the tables are compared
        QTest::newRow("own append") << QString() << false;
        QTest::newRow("events deleted first")
            << QStringLiteral("DELETE FROM EVENTS WHERE [INDEX] = 5") << true;
        QTest::newRow("user added first") << User("Zed", 2, "00:00:00", "23:00:00") << true;
    }

    void ownAppendsAreToldWithoutReadingTheTables()
    {
        QFETCH(QString, foreign);
        QFETCH(bool, checked);
        const QString path = NewDatabase(300);
        QVERIFY(!path.isEmpty());
        ShownList list;
        QVERIFY(list.Show(path, 600, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;
        QVERIFY(!view.Paint().isEmpty());

        if (!foreign.isEmpty())
            QCOMPARE(testdb::exec(path, {foreign}), QString());
        { // what a download does, on a connection of its own
            CDatabase connection;
            CEVENTS record(&connection);
            record.Open(CRecordset::dynaset);
            commitcounter::AppendNoted(record, {{1, CTime(1256112000), 2, QStringLiteral("0")},
                                                {2, CTime(1256112060), 3, QStringLiteral("1")}});
        }
        const quint64 checks = JoinStamp::FullChecks();
        g_pSet->Requery();
        doc.UpdateAllViews();
        QCOMPARE(JoinStamp::FullChecks() > checks, checked);

        const QVector<QStringList> all = JoinedTexts(path);
        QCOMPARE(view.RowCount(), qint64(all.size()));
        CompareRowsDrawnAt(view, all, {0, all.size()});
    }

    void databaseErrorWhilePaintingIsReportedOnce_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("the connection gone") << false;
        QTest::newRow("a damaged file that reads fewer rows than counted") << true;
    }

    void databaseErrorWhilePaintingIsReportedOnce()
    {
        QFETCH(bool, damaged);
        const QString path = NewDatabase(damaged ? 1000 : 20);
        QVERIFY(!path.isEmpty());
        QVERIFY(!damaged || MisplaceLastDivider(path));
        ShownList list;
        QVERIFY(list.Show(path, 600, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;
        QVERIFY(!view.Paint().isEmpty());

        if (damaged) // the last screen is read from a row in the leaf skipped
            view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        else
            g_db.Close(); // the connection under the set is gone
        QVERIFY(view.Paint().isEmpty());
        QVERIFY(view.Paint().isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(sink.messages.size(), 1);
        QCOMPARE(sink.messages.first().message.Caption(), QStringLiteral("Error"));
        const QString text = sink.messages.first().message.text;
        QVERIFY(!text.isEmpty());
        if (damaged)
            QVERIFY2(
                text.startsWith(QStringLiteral("The database \"%1\" looks damaged").arg(path)) &&
                    text.endsWith(path + QStringLiteral(" \"PRAGMA integrity_check\"")),
                qPrintable(text));
    }

    void databaseErrorWhileCountingIsReportedOnce()
    {
        const QString path = NewDatabase(20);
        QVERIFY(!path.isEmpty());
        ShownList list;
        QVERIFY(list.Show(path, 600, 300));
        [[maybe_unused]] auto& [sink, doc, view] = list;
        QCOMPARE(view.RowCount(), qint64(20));

        g_db.Close();
        doc.UpdateAllViews();
        doc.UpdateAllViews();
        QCOMPARE(view.RowCount(), qint64(0));
        QCOMPARE(view.ContentHeight(), qint64(view.LineHeight()));
        QVERIFY(view.Paint().isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(sink.messages.size(), 1);
        QCOMPARE(sink.messages.first().message.Caption(), QStringLiteral("Error"));
    }
};

QTEST_MAIN(TestViewList)
#include "test_view_list.moc"
