// "Read events" in the window, from the simulated receiver on a
// pseudo-terminal into a real database file, shown in the list.

#include "app/mainfrm.h"
#include "app/resource.h"
#include "app/zq6.h"
#include "db/zq6doc.h"
#include "tests/support/guitest.h"
#include "tests/support/simprocess.h"
#include "view/zq6view.h"

#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

class TestAppDownload : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SimProcess m_sim;
    QString m_port;
    int m_live = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());

        // A receiver with 150 events, answering without line delays.
        QVERIFY(m_sim.Start({"--generate", "150", "--pace", "0"}));
        m_port = m_sim.PortPath();
        QVERIFY(m_port.startsWith(QLatin1Char('/')));
    }

    void readEventsIntoTheList()
    {
        const QString db = m_dir.filePath(QStringLiteral("download.db"));
        QVERIFY(testdb::copyTemplate(db));
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        CZq6App app(&sink, &ui);
        QVERIFY(app.InitInstance(guitest::StartWith(db, m_port)));
        CZq6View* view = app.GetView();
        QCOMPARE(view->GetRowCount(), qint64(0));

        guitest::MenuCommand(app.GetMainWnd(), ID_TOOLS_READEVENTS)->trigger();

        QCOMPARE(sink.messages.size(), 1);
        const guitest::RecordedMessage& outcome = sink.messages.first();
        QCOMPARE(outcome.message.text, QStringLiteral("Number of read events:  150"));
        QCOMPARE(outcome.message.caption, QStringLiteral("OK"));
        // The progress dialog was gone before the box.
        QCOMPARE(outcome.progressDialogs, 0);
        QCOMPARE(guitest::CountProgressDialogs(), 0);

        // The list shows the new rows.
        QCOMPARE(view->GetRowCount(), qint64(150));
        QCOMPARE(view->GetContentHeight(), qint64(151 * view->LineHeight()));
        QVERIFY(view->verticalScrollBar()->maximum() > 0);

        // Again from the toolbar: nothing new.
        guitest::ToolbarCommand(app.GetMainWnd(), ID_TOOLS_READEVENTS)->trigger();
        QCOMPARE(sink.messages.size(), 2);
        QCOMPARE(sink.messages.last().message.text,
                 QStringLiteral("There are no more events to read"));
        QCOMPARE(sink.messages.last().progressDialogs, 0);
        QCOMPARE(view->GetRowCount(), qint64(150));
    }

    // What other programs store shows in the open window with no action, and
    // the user keeps their place: a list at its end follows the new rows, the
    // top row of one in the middle stays.
    void otherProgramsShowLive_data()
    {
        QTest::addColumn<bool>("download"); // zqreader-cli read; else SQL on another connection
        QTest::addColumn<bool>("atEnd");
        QTest::newRow("zqreader-cli read, at the end") << true << true;
        QTest::newRow("SQL, at the end") << false << true;
        QTest::newRow("SQL, in the middle") << false << false;
    }

    void otherProgramsShowLive()
    {
        QFETCH(bool, download);
        QFETCH(bool, atEnd);
        const QString db = m_dir.filePath(QStringLiteral("live-%1.db").arg(++m_live));
        QVERIFY(testdb::copyTemplate(db));
        QCOMPARE(guitest::AddEvents(db, 200), QString());
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        CZq6App app(&sink, &ui);
        QVERIFY(app.InitInstance(guitest::StartWith(db)));
        QVERIFY(QTest::qWaitForWindowExposed(app.GetMainWnd()));
        CZq6View* view = app.GetView();
        QScrollBar* bar = view->verticalScrollBar();
        const int top = atEnd ? bar->maximum() : 50 * view->LineHeight();
        QVERIFY(top > 0);
        bar->setValue(top);
        view->viewport()->repaint();

        if (download) {
            SimProcess sim;
            QVERIFY(sim.Start({"--generate", "30", "--pace", "0"}));
            QProcess read;
            read.start(QStringLiteral(ZQ_BIN_DIR "/zqreader-cli"),
                       {"read", db, "--port", sim.PortPath()});
            QVERIFY(read.waitForFinished(60000));
            QCOMPARE(read.exitCode(), 0);
        } else {
            QCOMPARE(guitest::AddEvents(db, 30, 5000), QString());
        }

        QTRY_COMPARE_WITH_TIMEOUT(view->GetRowCount(), qint64(230), 5000);
        if (atEnd)
            QCOMPARE(bar->value(), bar->maximum());
        else
            QCOMPARE(bar->value(), top);
        QVERIFY(bar->maximum() > top);
        QVERIFY(sink.messages.isEmpty());
    }

    void portThatCannotBeOpened()
    {
        const QString db = m_dir.filePath(QStringLiteral("noport.db"));
        QVERIFY(testdb::copyTemplate(db));
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        CZq6App app(&sink, &ui);
        QVERIFY(app.InitInstance(
            guitest::StartWith(db, m_dir.filePath(QStringLiteral("no-such-port")))));

        guitest::MenuCommand(app.GetMainWnd(), ID_TOOLS_READEVENTS)->trigger();
        QCOMPARE(sink.messages.size(), 1);
        QCOMPARE(sink.messages.first().message.text,
                 QStringLiteral("Error initializing serial port"));
        QVERIFY(!sink.messages.first().message.detail.isEmpty());
        QCOMPARE(app.GetView()->GetRowCount(), qint64(0));
    }
};

QTEST_MAIN(TestAppDownload)
#include "test_app_download.moc"
