// Working in the list with real mouse and key events: selecting rows, copying
// them as `zqreader-cli list` prints them, the context menu of a row, the
// whole name of a name cut short, and the column widths kept.

#include "db/zq6doc.h"
#include "tests/support/guitest.h"
#include "tests/support/programrun.h"
#include "view/eventlistview.h"

#include <QClipboard>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

namespace {

// A name longer than any column: Polish letters, 120 characters.
const QString kLongName =
    QStringLiteral("Zażółć Gęślą Jaźń Świętosław Brzęczyszczykiewicz-Żółtowski ")
        .repeated(2)
        .left(120);

struct ShownList
{
    guitest::RecordingSink sink;
    CZq6Doc doc{&sink};
    EventListView view{&doc};

    bool Show(const QString& path)
    {
        if (!doc.OnOpenDocument(path))
            return false;
        view.resize(700, 400);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            return false;
        view.ShowFromStart();
        view.viewport()->repaint();
        return true;
    }

    QPoint Line(int line) const
    {
        const int lh = view.LineHeight();
        return {view.ColumnLeft(EventListView::DateColumn) + 10,
                line * lh + lh / 2 - view.verticalScrollBar()->value()};
    }
};

} // namespace

class TestViewSelect : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;
    QStringList m_listed; // the lines of `zqreader-cli list`

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(QStringLiteral("select.db"));
        QVERIFY(testdb::copyTemplate(m_db));
        QCOMPARE(guitest::AddEvents(m_db, 40), QString());
        // Two holders of number 2 at once: its events have two rows each.
        QCOMPARE(testdb::exec(m_db, {QStringLiteral("INSERT INTO USERS (NAME, USER_NO, "
                                                    "DATE_START, DATE_STOP) VALUES "
                                                    "('Ada', 2, '2009-01-01', '2010-01-01'), "
                                                    "('Bob', 2, '2009-01-01', '2010-01-01'), "
                                                    "('%1', 3, '2009-01-01', '2010-01-01')")
                                         .arg(kLongName)}),
                 QString());
        const testrun::Result list = testrun::Run({"list", m_db});
        QCOMPARE(list.exitCode, 0);
        m_listed = list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(m_listed.size(), 48);
    }

    // Clicks and keys, then Ctrl+C: the clipboard holds the selected lines.
    void selectAndCopy_data()
    {
        QTest::addColumn<QString>("actions"); // click N, shift N, ctrl N, down, shift-down
        QTest::addColumn<QList<int>>("lines");
        QTest::newRow("click") << "click 3" << QList<int>{3};
        QTest::newRow("shift-click") << "click 3, shift 6" << QList<int>{3, 4, 5, 6};
        QTest::newRow("shift-click upwards") << "click 6, shift 2" << QList<int>{2, 3, 4, 5, 6};
        QTest::newRow("ctrl-click out") << "click 3, shift 6, ctrl 5" << QList<int>{3, 4, 6};
        QTest::newRow("ctrl-click in") << "click 3, ctrl 9" << QList<int>{3, 9};
        QTest::newRow("the second row of an event") << "click 2" << QList<int>{2};
        QTest::newRow("shift-arrows")
            << "click 10, shift-down, shift-down" << QList<int>{10, 11, 12};
        QTest::newRow("arrow moves") << "click 10, down, down" << QList<int>{12};
    }

    void selectAndCopy()
    {
        QFETCH(QString, actions);
        QFETCH(QList<int>, lines);
        ShownList list;
        QVERIFY(list.Show(m_db));
        QWidget* rows = list.view.viewport();
        for (const QString& action : actions.split(QStringLiteral(", "))) {
            const QStringList words = action.split(QLatin1Char(' '));
            const int line = words.size() > 1 ? words.at(1).toInt() : 0;
            if (words.first() == QLatin1String("click"))
                QTest::mouseClick(rows, Qt::LeftButton, Qt::NoModifier, list.Line(line));
            else if (words.first() == QLatin1String("shift"))
                QTest::mouseClick(rows, Qt::LeftButton, Qt::ShiftModifier, list.Line(line));
            else if (words.first() == QLatin1String("ctrl"))
                QTest::mouseClick(rows, Qt::LeftButton, Qt::ControlModifier, list.Line(line));
            else
                QTest::keyClick(&list.view, Qt::Key_Down,
                                words.first() == QLatin1String("shift-down") ? Qt::ShiftModifier
                                                                             : Qt::NoModifier);
            list.view.viewport()->repaint();
        }
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(&list.view, Qt::Key_C, Qt::ControlModifier);
        QString expected;
        for (const int line : lines)
            expected += m_listed.at(line) + QLatin1Char('\n');
        QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    }

    void selectAllCopiesTheWholeList()
    {
        ShownList list;
        QVERIFY(list.Show(m_db));
        QSignalSpy status(&list.view, &EventListView::StatusMessage);
        QTest::keyClick(&list.view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&list.view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), m_listed.join(QLatin1Char('\n')) + '\n');
        QCOMPARE(status.size(), 1);
        QCOMPARE(status.first().first().toString(), QStringLiteral("Copied 48 rows."));
    }

    void contextMenuOfARow()
    {
        ShownList list;
        QVERIFY(list.Show(m_db));
        QSignalSpy filter(&list.view, &EventListView::FilterByUserRequested);
        QSignalSpy find(&list.view, &EventListView::FindUserRequested);
        // Line 3 is event 3, of user number 3 (the users cycle 1 to 5; the
        // events of 2 have two rows).
        const QPoint at = list.Line(3);
        QCOMPARE(list.view.RowAt(at)->eventIndex, qint64(3));
        QStringList offered;
        for (const QString& pick :
             {QStringLiteral("&Filter by this user"), QStringLiteral("F&ind this user")}) {
            QTimer::singleShot(0, [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                QVERIFY(menu);
                offered.clear();
                for (QAction* a : menu->actions()) {
                    if (!a->isSeparator())
                        offered << a->text();
                    if (a->text() == pick)
                        a->trigger();
                }
                menu->close();
            });
            QContextMenuEvent event(QContextMenuEvent::Mouse, at,
                                    list.view.viewport()->mapToGlobal(at));
            QApplication::sendEvent(list.view.viewport(), &event);
        }
        QCOMPARE(offered, (QStringList{"&Copy", "&Filter by this user", "F&ind this user"}));
        QCOMPARE(filter.size(), 1);
        QCOMPARE(filter.first().first().toInt(), 3);
        QCOMPARE(find.size(), 1);
        QCOMPARE(find.first().first().toInt(), 3);
        // The right button selected the row.
        QVERIFY(list.view.Selection().Contains({3, 0}));
    }

    void longNameCutAndShownWholeInItsTooltip()
    {
        ShownList list;
        QVERIFY(list.Show(m_db));
        // Line 3 holds the long name; the name column is narrower.
        const QPoint at(list.view.ColumnLeft(EventListView::NameColumn) + 20, list.Line(3).y());
        QHelpEvent help(QEvent::ToolTip, at, list.view.viewport()->mapToGlobal(at));
        QApplication::sendEvent(list.view.viewport(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), kLongName);
        // A name shown whole has none.
        const QPoint shortName(at.x(), list.Line(1).y());
        QHelpEvent none(QEvent::ToolTip, shortName, list.view.viewport()->mapToGlobal(shortName));
        QApplication::sendEvent(list.view.viewport(), &none);
        QVERIFY(!none.isAccepted());
    }

    void columnWidthsAreKept()
    {
        QSettings().clear();
        {
            ShownList list;
            QVERIFY(list.Show(m_db));
            list.view.Header()->resizeSection(EventListView::NameColumn, 333);
            // A number column keeps room for its widest number.
            list.view.Header()->resizeSection(EventListView::TimerColumn, 5);
            QVERIFY(list.view.ColumnWidth(EventListView::TimerColumn) >
                    QFontMetrics(list.view.font()).horizontalAdvance(QStringLiteral("4194303")));
        }
        ShownList again;
        QVERIFY(again.Show(m_db));
        QCOMPARE(again.view.ColumnWidth(EventListView::NameColumn), 333);
        QCOMPARE(again.view.Header()->count(), 5);
    }
};

QTEST_MAIN(TestViewSelect)
#include "test_view_select.moc"
