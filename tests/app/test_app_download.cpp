// "Read events" in the window, from the simulated receiver on a
// pseudo-terminal into a real database file, shown in the list.

#include "app/desktopapp.h"
#include "app/mainwindow.h"
#include "db/zq6doc.h"
#include "tests/support/guitest.h"
#include "tests/support/simprocess.h"
#include "view/eventlistview.h"

#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace {

// Whether process pid holds a flock() lock, as the kernel lists it.
bool holdsFlock(qint64 pid)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const QByteArray mine = ' ' + QByteArray::number(pid) + ' ';
    for (const QByteArray& line : locks.readAll().split('\n')) {
        if (line.contains("FLOCK") && line.contains(mine))
            return true;
    }
    return false;
}

int storedEvents(const QString& db)
{
    const QVector<QVariantList> rows =
        testdb::rows(db, QStringLiteral("SELECT count(*) FROM EVENTS"));
    return rows.isEmpty() ? -1 : rows.first().first().toInt();
}

} // namespace

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
        DesktopApp app(&sink, &ui);
        QVERIFY(app.Start(guitest::StartWith(db, m_port)));
        EventListView* view = app.ListView();
        QCOMPARE(view->RowCount(), qint64(0));

        QVERIFY(guitest::Trigger(app.Window(), "readEvents"));

        QCOMPARE(sink.messages.size(), 1);
        const guitest::RecordedMessage& outcome = sink.messages.first();
        QCOMPARE(outcome.message.text, QStringLiteral("Number of read events:  150"));
        QCOMPARE(outcome.message.Caption(), QStringLiteral("OK"));
        // The progress dialog was gone before the box.
        QCOMPARE(outcome.progressDialogs, 0);
        QCOMPARE(guitest::CountProgressDialogs(), 0);

        // The list shows the new rows.
        QCOMPARE(view->RowCount(), qint64(150));
        QCOMPARE(view->ContentHeight(), qint64(151 * view->LineHeight()));
        QVERIFY(view->verticalScrollBar()->maximum() > 0);

        // Again from the toolbar: nothing new.
        QVERIFY(guitest::Trigger(app.Window(), "readEventsButton"));
        QCOMPARE(sink.messages.size(), 2);
        QCOMPARE(sink.messages.last().message.text,
                 QStringLiteral("There are no more events to read"));
        QCOMPARE(sink.messages.last().progressDialogs, 0);
        QCOMPARE(view->RowCount(), qint64(150));
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
        DesktopApp app(&sink, &ui);
        QVERIFY(app.Start(guitest::StartWith(db)));
        QVERIFY(QTest::qWaitForWindowExposed(app.Window()));
        EventListView* view = app.ListView();
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

        QTRY_COMPARE_WITH_TIMEOUT(view->RowCount(), qint64(230), 5000);
        if (atEnd)
            QCOMPARE(bar->value(), bar->maximum());
        else
            QCOMPARE(bar->value(), top);
        QVERIFY(bar->maximum() > top);
        QVERIFY(sink.messages.isEmpty());
    }

    // One read at a time into a database, whichever program started first:
    // the other is told and stores nothing, the first stores its events once.
    void oneReadAtATime_data()
    {
        QTest::addColumn<bool>("desktopFirst");
        QTest::newRow("desktop reading, zqreader-cli read") << true;
        QTest::newRow("zqreader-cli reading, desktop Read events") << false;
    }

    void oneReadAtATime()
    {
        QFETCH(bool, desktopFirst);
        const QString db =
            m_dir.filePath(QStringLiteral("one-read-%1.db").arg(desktopFirst ? 1 : 2));
        QVERIFY(testdb::copyTemplate(db));
        // At the line's pace: 400 events take about two seconds.
        SimProcess sim;
        QVERIFY(sim.Start({"--generate", "400"}));
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        DesktopApp app(&sink, &ui);
        QVERIFY(app.Start(guitest::StartWith(db, sim.PortPath())));
        QProcess cli;
        cli.setProgram(QStringLiteral(ZQ_BIN_DIR "/zqreader-cli"));
        cli.setArguments({"read", db, "--port", sim.PortPath()});

        if (desktopFirst) {
            // Once the desktop's download shows its progress it holds the lock.
            bool started = false;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (started || guitest::CountProgressDialogs() == 0)
                    return;
                started = true;
                cli.start();
                cli.waitForFinished(30000);
            });
            poll.start(20);
            QVERIFY(guitest::Trigger(app.Window(), "readEvents"));
            QVERIFY(started);
            QCOMPARE(cli.exitCode(), 4);
            QVERIFY2(cli.readAllStandardError().startsWith("Another read is under way"),
                     "the refusal");
            QCOMPARE(sink.Texts(), QStringList{"Number of read events:  400"});
        } else {
            cli.start();
            QVERIFY(cli.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(holdsFlock(cli.processId()), 20000);
            QVERIFY(guitest::Trigger(app.Window(), "readEvents"));
            QCOMPARE(sink.Texts(), QStringList{"Another read is under way"});
            QCOMPARE(sink.messages.first().message.Caption(), QStringLiteral("Error"));
            QVERIFY(cli.waitForFinished(60000));
            QCOMPARE(cli.exitCode(), 0);
        }
        QCOMPARE(storedEvents(db), 400);
    }

    void portThatCannotBeOpened()
    {
        const QString db = m_dir.filePath(QStringLiteral("noport.db"));
        QVERIFY(testdb::copyTemplate(db));
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        DesktopApp app(&sink, &ui);
        QVERIFY(app.Start(guitest::StartWith(db, m_dir.filePath(QStringLiteral("no-such-port")))));

        QVERIFY(guitest::Trigger(app.Window(), "readEvents"));
        QCOMPARE(sink.messages.size(), 1);
        QCOMPARE(sink.messages.first().message.text,
                 QStringLiteral("Error initializing serial port"));
        QVERIFY(!sink.messages.first().message.detail.isEmpty());
        QCOMPARE(app.ListView()->RowCount(), qint64(0));
    }
};

QTEST_MAIN(TestAppDownload)
#include "test_app_download.moc"
