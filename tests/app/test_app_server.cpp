// Opening a server database that has no tables yet offers to create them; a
// wrong password is told at the next prompt, also by a server that speaks
// German; a server in the recent files opens the server again; the list
// outlives a restart of the server.

#include "app/desktopapp.h"
#include "app/mainwindow.h"
#include "db/backend/dbexception.h"
#include "db/backend/serverdb.h"
#include "db/location/location.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "tests/support/guitest.h"
#include "tests/support/pgserver.h"
#include "view/eventlistview.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

class TestAppServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        QVERIFY2(testpg::Server::Instance().IsRunning(),
                 qPrintable(testpg::Server::Instance().Error()));
    }

    void offersToCreateTheTables_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("withTables");
        QTest::addColumn<QString>("message");
        QTest::newRow("yes") << int(QMessageBox::Yes) << false
                             << "A new database has been created:  ";
        QTest::newRow("no") << int(QMessageBox::No) << false << "has no table EVENTS";
        QTest::newRow("tables there") << int(QMessageBox::Yes) << true << "";
    }

    void offersToCreateTheTables()
    {
        QFETCH(int, answer);
        QFETCH(bool, withTables);
        QFETCH(QString, message);
        testpg::Server& pg = testpg::Server::Instance();
        const QString name = pg.CreateDatabase();
        if (withTables)
            CreateServerTables(Location::Parse(pg.Uri(name)));
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        ui.onModal = [answer](QDialog&) { return answer; };
        guitest::FixedPorts ports;
        DesktopApp app(&sink, &ui, &ports);
        QVERIFY(app.Start({}));

        const bool opened = app.OpenDocumentFile(pg.Uri(name));
        QCOMPARE(ui.modalClasses,
                 withTables ? QStringList() : QStringList{QStringLiteral("QMessageBox")});
        QCOMPARE(opened, answer == QMessageBox::Yes);
        QCOMPARE(pg.Scalar(name, Dialect(Dialect::Backend::Postgres).CountTablesSql()).toInt(),
                 opened ? 2 : 0);
        if (message.isEmpty())
            QVERIFY(sink.messages.isEmpty());
        else
            QVERIFY2(sink.Texts().join('\n').contains(message) ||
                         (!sink.messages.isEmpty() &&
                          sink.messages.last().message.detail.contains(message)),
                     qPrintable(sink.Texts().join('\n')));
        if (opened)
            QCOMPARE(g_strDbPath, pg.Uri(name));
    }

    // A refused password is told at the next prompt; the recent files keep the
    // address without it, and File > 1 at the next start opens the server.
    void wrongPasswordAndRecentServer()
    {
        testpg::Server& pg = testpg::Server::Instance();
        const QString name = pg.CreateDatabase();
        CreateServerTables(Location::Parse(pg.Uri(name)));
        QCOMPARE(pg.Exec(name, {QStringLiteral("GRANT SELECT ON [EVENTS], [USERS] TO zq_secret")}),
                 QString());
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        QStringList prompts, answers{"wrong", testpg::kPassword};
        ui.onModal = [&](QDialog& dlg) {
            prompts << dlg.findChild<QLabel*>(QStringLiteral("prompt"))->text();
            dlg.findChild<QLineEdit*>(QStringLiteral("password"))->setText(answers.takeFirst());
            dlg.accept();
            return dlg.result();
        };
        guitest::FixedPorts ports;
        const QString uri = pg.Uri(name, QLatin1String(testpg::kPasswordRole));
        {
            DesktopApp app(&sink, &ui, &ports);
            QVERIFY(app.Start({}) && app.OpenDocumentFile(uri));
            QCOMPARE(prompts.size(), 2);
            QVERIFY(!prompts.first().contains("not accepted"));
            QVERIFY2(prompts.last().startsWith("The password was not accepted.\nThe server of "),
                     qPrintable(prompts.last()));
            QCOMPARE(QSettings().value(QStringLiteral("Recent File List/File1")).toString(), uri);
        }
        DesktopApp app(&sink, &ui, &ports);
        QVERIFY(app.Start({}) && guitest::Trigger(app.Window(), "recentFile1"));
        QVERIFY2(sink.messages.isEmpty(), qPrintable(sink.Texts().join('\n')));
        QCOMPARE(g_strDbPath, uri);
    }

    // A server that words its refusal in German (in other words than the
    // English ones): the desktop still asks for the password, and says that
    // a wrong one was refused.
    void passwordPromptOfAGermanServer()
    {
        testpg::Server& pg = testpg::Server::German();
        QVERIFY2(pg.IsRunning(), qPrintable(pg.Error()));
        const QString name = pg.CreateDatabase();
        CreateServerTables(Location::Parse(pg.Uri(name)));
        QCOMPARE(pg.Exec(name, {QStringLiteral("GRANT SELECT ON [EVENTS], [USERS] TO zq_secret")}),
                 QString());
        Location wrong = Location::Parse(pg.Uri(name, QLatin1String(testpg::kPasswordRole)));
        wrong.SetPassword(QStringLiteral("wrong"));
        try {
            CDatabase probe;
            probe.Open(wrong);
            QFAIL("a wrong password was taken");
        } catch (const CDBException& e) {
            QVERIFY2(!e.m_strError.contains(QLatin1String("password authentication failed")),
                     qPrintable(e.m_strError));
        }
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        QStringList prompts, answers{"wrong", testpg::kPassword};
        ui.onModal = [&](QDialog& dlg) {
            prompts << dlg.findChild<QLabel*>(QStringLiteral("prompt"))->text();
            dlg.findChild<QLineEdit*>(QStringLiteral("password"))->setText(answers.takeFirst());
            dlg.accept();
            return dlg.result();
        };
        guitest::FixedPorts ports;
        DesktopApp app(&sink, &ui, &ports);
        QVERIFY(app.Start({}) &&
                app.OpenDocumentFile(pg.Uri(name, QLatin1String(testpg::kPasswordRole))));
        QCOMPARE(prompts.size(), 2);
        QVERIFY(!prompts.first().contains("not accepted"));
        QVERIFY2(prompts.last().startsWith("The password was not accepted."),
                 qPrintable(prompts.last()));
        QVERIFY2(sink.messages.isEmpty(), qPrintable(sink.Texts().join('\n')));
    }

    // The server stops under the desktop: the list keeps drawing its rows,
    // the status bar says the server is away, and Refresh empties nothing.
    // Once the server is back the list shows what was stored meanwhile,
    // unannounced, and follows the downloads the server tells of again.
    void listOutlivesARestartOfTheServer()
    {
        testpg::Server& pg = testpg::Server::Instance();
        const QString name = pg.CreateDatabase();
        CreateServerTables(Location::Parse(pg.Uri(name)));
        int timer = 0;
        const auto rows = [&](int n, bool told) {
            QStringList statements;
            for (int i = 0; i < n; ++i)
                statements << QStringLiteral("INSERT INTO [EVENTS] ([TIMER], [DATE], [USER_NO], "
                                             "[BUTTON]) VALUES (%1, '2024-05-01 10:00:00', 3, '0')")
                                  .arg(++timer);
            if (told) // as a download does
                statements << Dialect(Dialect::Backend::Postgres).NotifySql();
            return pg.Exec(name, statements, true);
        };
        QCOMPARE(rows(5, false), QString());
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        guitest::FixedPorts ports;
        DesktopApp app(&sink, &ui, &ports);
        QVERIFY(app.Start({}) && app.OpenDocumentFile(pg.Uri(name)));
        EventListView* view = app.ListView();
        QTRY_COMPARE(view->RowCount(), 5);
        const QImage shown = view->viewport()->grab().toImage();
        QStatusBar* bar = app.Window()->statusBar();
        QStringList said;
        QObject::connect(bar, &QStatusBar::messageChanged, [&](const QString& m) { said << m; });
        qint64 fewest = 5;
        QObject::connect(view, &EventListView::CountChanged,
                         [&] { fewest = std::min(fewest, view->RowCount()); });

        QVERIFY2(pg.Stop(), qPrintable(pg.Error()));
        QTRY_VERIFY_WITH_TIMEOUT(app.IsReconnecting(), 10000);
        QCOMPARE(bar->currentMessage(), DesktopApp::ServerAwayText());
        QVERIFY(guitest::Trigger(app.Window(), "refresh"));
        QCOMPARE(view->RowCount(), 5);
        QCOMPARE(view->viewport()->grab().toImage(), shown);

        QVERIFY2(pg.Start(), qPrintable(pg.Error()));
        QCOMPARE(rows(3, false), QString());
        QTRY_COMPARE_WITH_TIMEOUT(view->RowCount(), 8, 40000);
        QVERIFY(!app.IsReconnecting());
        QCOMPARE(bar->currentMessage(), QString());
        QCOMPARE(rows(1, true), QString());
        QTRY_COMPARE_WITH_TIMEOUT(view->RowCount(), 9, 10000);
        QVERIFY(said.contains(DesktopApp::ServerAwayText()));
        QCOMPARE(fewest, 5);
        QVERIFY2(sink.messages.isEmpty(), qPrintable(sink.Texts().join('\n')));
    }
};

QTEST_MAIN(TestAppServer)
#include "test_app_server.moc"
