// The single-document shell: window titles through new, open and create,
// the recent-file list, the command line and start-up.

#include "app/commandline.h"
#include "app/desktopapp.h"
#include "app/dialogs/shellui.h"
#include "app/mainwindow.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "link/portsetting.h"
#include "tests/support/guitest.h"
#include "view/eventlistview.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestAppShell : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    guitest::RecordingSink m_sink;
    guitest::ScriptedUi m_ui;
    guitest::FixedPorts m_ports;

    QString Database(const QString& name, int events = 0)
    {
        const QString path = m_dir.filePath(name);
        if (!testdb::copyTemplate(path))
            return {};
        if (events && !guitest::AddEvents(path, events).isEmpty())
            return {};
        return path;
    }

    std::unique_ptr<DesktopApp> Start(const CommandLineInfo& cmd = {})
    {
        auto app = std::make_unique<DesktopApp>(&m_sink, &m_ui, &m_ports);
        if (!app->Start(cmd))
            return nullptr;
        return app;
    }

    static QStringList RecentMenuTexts(DesktopApp& app)
    {
        QStringList texts;
        for (QAction* a : app.Window()->FileMenu()->actions()) {
            if (a->objectName().startsWith(QLatin1String("recentFile")))
                texts << a->text();
        }
        return texts;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
        // The template is looked for in the current folder first.
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QVERIFY(testdb::copyTemplate(m_dir.filePath(QStringLiteral("template.db"))));
    }

    void init()
    {
        QSettings().clear();
        m_sink.messages.clear();
        m_ui = guitest::ScriptedUi();
    }

    void titlesThroughNewOpenAndCreate()
    {
        const QString first = Database(QStringLiteral("first.db"), 5);
        QVERIFY(!first.isEmpty());
        auto app = Start();
        QVERIFY(app);
        MainWindow* frame = app->Window();
        QCOMPARE(frame->windowTitle(), QStringLiteral("Event - ZQreader"));
        QVERIFY(!app->Document()->m_bDbOpen);

        m_ui.openPaths << first;
        QVERIFY(guitest::Trigger(frame, "openDatabase"));
        QCOMPARE(frame->windowTitle(), QStringLiteral("first.db - ZQreader"));
        QCOMPARE(app->ListView()->RowCount(), qint64(5));

        // Ctrl+N is New Database: it asks for the file, and cancelled, the
        // open database keeps the window and its name (it once left the
        // database open under the name "Event", downloads still going in).
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(m_ui.saveDialogs, 1);
        QCOMPARE(frame->windowTitle(), QStringLiteral("first.db - ZQreader"));
        QCOMPARE(g_strDbPath, first);
        QCOMPARE(app->ListView()->RowCount(), qint64(5));

        // New Database: created from the template, opened, listed (empty).
        const QString created = m_dir.filePath(QStringLiteral("created.db"));
        m_ui.savePaths << created;
        QVERIFY(guitest::Trigger(frame, "newDatabase"));
        QCOMPARE(frame->windowTitle(), QStringLiteral("created.db - ZQreader"));
        QCOMPARE(g_strDbPath, created);
        QCOMPARE(app->ListView()->RowCount(), qint64(0));
        QCOMPARE(m_sink.messages.size(), 1);
        QCOMPARE(m_sink.messages.first().message.text,
                 QStringLiteral("A new database has been created:  ") + created);
        QCOMPARE(m_sink.messages.first().message.Caption(), QStringLiteral("OK"));
        QCOMPARE(app->RecentFiles().first(), created);
    }

    void failuresKeepTheDocument()
    {
        const QString db = Database(QStringLiteral("kept.db"), 3);
        QVERIFY(!db.isEmpty());
        auto app = Start(guitest::StartWith(db));
        QVERIFY(app);
        MainWindow* frame = app->Window();
        QCOMPARE(frame->windowTitle(), QStringLiteral("kept.db - ZQreader"));

        // A file that is not there.
        m_ui.openPaths << m_dir.filePath(QStringLiteral("missing.db"));
        QVERIFY(guitest::Trigger(frame, "openDatabase"));
        QCOMPARE(m_sink.messages.size(), 1);
        QCOMPARE(m_sink.messages.last().message.Caption(), QStringLiteral("Error"));
        QCOMPARE(frame->windowTitle(), QStringLiteral("kept.db - ZQreader"));
        QCOMPARE(g_strDbPath, db);

        // A database that cannot be created where asked.
        m_ui.savePaths << m_dir.filePath(QStringLiteral("no/such/folder/new.db"));
        QVERIFY(guitest::Trigger(frame, "newDatabase"));
        QCOMPARE(m_sink.messages.size(), 2);
        QCOMPARE(m_sink.messages.last().message.text,
                 QStringLiteral("Error while creating new database"));
        QCOMPARE(m_sink.messages.last().message.Caption(), QStringLiteral("Error"));
        QCOMPARE(frame->windowTitle(), QStringLiteral("kept.db - ZQreader"));
        QCOMPARE(app->ListView()->RowCount(), qint64(3));
        QCOMPARE(app->RecentFiles(), QStringList{db});

        // Cancelled dialogs change nothing.
        QVERIFY(guitest::Trigger(frame, "openDatabase"));
        QVERIFY(guitest::Trigger(frame, "newDatabase"));
        QCOMPARE(m_sink.messages.size(), 2);
        QCOMPARE(frame->windowTitle(), QStringLiteral("kept.db - ZQreader"));
    }

    void saveAsksForANewDatabase()
    {
        const QString db = Database(QStringLiteral("open.db"), 4);
        QVERIFY(!db.isEmpty());
        auto app = Start(guitest::StartWith(db));
        QVERIFY(app);
        // Ctrl+S never writes the template over the open database.
        QVERIFY(QTest::qWaitForWindowActive(app->Window()));
        QTest::keyClick(app->Window(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(m_ui.saveDialogs, 1);
        QCOMPARE(app->ListView()->RowCount(), qint64(4));
        QCOMPARE(m_sink.messages.size(), 0);
    }

    void recentFilesAfterAFifthDatabase()
    {
        QStringList paths;
        for (const char* name : {"r1.db", "r2.db", "r3.db", "r4.db", "r5.db"}) {
            paths << Database(QString::fromLatin1(name));
            QVERIFY(!paths.last().isEmpty());
        }
        {
            auto app = Start();
            QVERIFY(app);
            QCOMPARE(RecentMenuTexts(*app), QStringList{"Recent File"});
            for (const QString& p : paths)
                QVERIFY(app->OpenDocumentFile(p));
            const QStringList expected{paths[4], paths[3], paths[2], paths[1]};
            QCOMPARE(app->RecentFiles(), expected);
            QStringList texts;
            for (int i = 0; i < 4; ++i)
                texts << QStringLiteral("&%1 %2").arg(i + 1).arg(
                    QDir::toNativeSeparators(expected[i]));
            QCOMPARE(RecentMenuTexts(*app), texts);

            // Opening one of them again moves it to the top.
            QVERIFY(app->OpenDocumentFile(paths[2]));
            QCOMPARE(app->RecentFiles(), (QStringList{paths[2], paths[4], paths[3], paths[1]}));
        }
        // Kept in the settings for the next start, beside the port name.
        auto app = Start();
        QVERIFY(app);
        QCOMPARE(app->RecentFiles(), (QStringList{paths[2], paths[4], paths[3], paths[1]}));
        QCOMPARE(QSettings().value(QStringLiteral("Recent File List/File1")).toString(), paths[2]);

        // An entry opens its database; one that cannot be opened leaves the list.
        QVERIFY(guitest::Trigger(app->Window(), "recentFile2"));
        QCOMPARE(app->Window()->windowTitle(), QStringLiteral("r5.db - ZQreader"));
        QCOMPARE(app->RecentFiles().first(), paths[4]);
        QVERIFY(QFile::remove(paths[3]));
        QCOMPARE(app->RecentFiles().at(2), paths[3]);
        QVERIFY(guitest::Trigger(app->Window(), "recentFile3"));
        QCOMPARE(m_sink.messages.size(), 1);
        QCOMPARE(app->RecentFiles(), (QStringList{paths[4], paths[2], paths[1]}));
        QCOMPARE(app->Window()->windowTitle(), QStringLiteral("r5.db - ZQreader"));
    }

    void startWithADatabase()
    {
        const QString db = Database(QStringLiteral("start.db"), 7);
        QVERIFY(!db.isEmpty());
        QSettings().setValue(QStringLiteral("Settings/COM"), QStringLiteral("ttyS3"));
        auto app = Start(guitest::StartWith(db));
        QVERIFY(app);
        QVERIFY(app->Window()->isVisible());
        QVERIFY(app->Document()->m_bDbOpen);
        QCOMPARE(app->ListView()->RowCount(), qint64(7));
        QCOMPARE(app->RecentFiles().first(), db);
        QCOMPARE(app->PortInUse().Given(), QStringLiteral("ttyS3"));
    }

    void startWithAPortForThisRunOnly()
    {
        QSettings().setValue(QStringLiteral("Settings/COM"), QStringLiteral("ttyS3"));
        auto app = Start(guitest::StartWith({}, QStringLiteral("/dev/pts/42")));
        QVERIFY(app);
        QCOMPARE(app->PortInUse().Given(), QStringLiteral("/dev/pts/42"));
        QCOMPARE(QSettings().value(QStringLiteral("Settings/COM")).toString(),
                 QStringLiteral("ttyS3"));
    }

    void startWithADatabaseThatCannotBeOpened()
    {
        auto app = std::make_unique<DesktopApp>(&m_sink, &m_ui, &m_ports);
        QVERIFY(!app->Start(guitest::StartWith(m_dir.filePath(QStringLiteral("absent.db")))));
        QCOMPARE(m_sink.messages.size(), 1);
        QCOMPARE(m_sink.messages.first().message.Caption(), QStringLiteral("Error"));
        QVERIFY(!app->Window()->isVisible());
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("db");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("portGiven");
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("version");
        QTest::addColumn<bool>("error");
        QTest::newRow("nothing") << QStringList{"zqreader"} << ""
                                 << "" << false << false << false << false;
        QTest::newRow("database") << QStringList{"zqreader", "demo.db"} << "demo.db"
                                  << "" << false << false << false << false;
        QTest::newRow("port and database")
            << QStringList{"zqreader", "--port", "/dev/pts/3", "demo.db"} << "demo.db"
            << "/dev/pts/3" << true << false << false << false;
        QTest::newRow("port with =") << QStringList{"zqreader", "--port=ttyUSB0"} << ""
                                     << "ttyUSB0" << true << false << false << false;
        QTest::newRow("help") << QStringList{"zqreader", "--help"} << ""
                              << "" << false << true << false << false;
        QTest::newRow("version") << QStringList{"zqreader", "--version"} << ""
                                 << "" << false << false << true << false;
        QTest::newRow("two databases") << QStringList{"zqreader", "a.db", "b.db"} << ""
                                       << "" << false << false << false << true;
        QTest::newRow("unknown option") << QStringList{"zqreader", "--print"} << ""
                                        << "" << false << false << false << true;
        QTest::newRow("port without name") << QStringList{"zqreader", "--port"} << ""
                                           << "" << false << false << false << true;
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, db);
        QFETCH(QString, port);
        QFETCH(bool, portGiven);
        QFETCH(bool, help);
        QFETCH(bool, version);
        QFETCH(bool, error);
        const CommandLineInfo info = ParseCommandLine(args);
        QCOMPARE(!info.error.isEmpty(), error);
        if (error)
            return;
        QCOMPARE(info.dbPath, db);
        QCOMPARE(info.port.has_value(), portGiven);
        QCOMPARE(info.port ? info.port->Given() : QString(), port);
        QCOMPARE(info.help, help);
        QCOMPARE(info.version, version);
    }

    void fileDialogTypes()
    {
        QCOMPARE(DatabaseFilters(),
                 (QStringList{"ZQreader Database Files (*.db)", "Access Database Files (*.mdb)"}));
        const QString ours = DatabaseFilters().at(0);
        const QString access = DatabaseFilters().at(1);
        QCOMPARE(WithDefaultExtension("/data/events", ours), QStringLiteral("/data/events.db"));
        QCOMPARE(WithDefaultExtension("/data/events", access), QStringLiteral("/data/events.mdb"));
        QCOMPARE(WithDefaultExtension("/data/events.db", access),
                 QStringLiteral("/data/events.db"));
        QCOMPARE(WithDefaultExtension("/data/v1.2/events.sqlite", ours),
                 QStringLiteral("/data/v1.2/events.sqlite"));
        QCOMPARE(WithDefaultExtension("/data/v1.2/events", ours),
                 QStringLiteral("/data/v1.2/events.db"));
        QCOMPARE(WithDefaultExtension("", ours), QString());
    }

    // Ctrl+G, Ctrl+F, F3 and Shift+F3 as typed: the row found is on the top
    // line and marked; a find round the start says so; what is not there is
    // told in a message.
    void goToDateAndFindByKeys()
    {
        const QString db = Database(QStringLiteral("seek.db"), 300);
        QVERIFY(!db.isEmpty());
        // Dee holds number 2 from 12:00 to 13:00: events 182, 187, ..., 237.
        QCOMPARE(testdb::exec(db, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                   "VALUES ('Dee', 2, '2009-10-21 12:00:00', "
                                   "'2009-10-21 13:00:00')"}),
                 QString());
        auto app = Start(guitest::StartWith(db));
        QVERIFY(app);
        MainWindow* frame = app->Window();
        EventListView* view = app->ListView();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        QString answer;
        bool byNumber = false;
        m_ui.onModal = [&](QDialog& dialog) {
            if (auto* number = dialog.findChild<QRadioButton*>(QStringLiteral("byNumber")))
                number->setChecked(byNumber);
            if (auto* name = dialog.findChild<QRadioButton*>(QStringLiteral("byName")))
                name->setChecked(!byNumber);
            for (QLineEdit* edit : dialog.findChildren<QLineEdit*>())
                edit->setText(answer);
            dialog.accept();
            return dialog.result();
        };
        const int lh = view->LineHeight();
        const auto shown = [&](qint64 event) {
            const std::optional<JoinMark> marked = view->MarkedRow();
            if (!marked || marked->eventIndex != event || marked->skip != 0)
                return false;
            // On the top line, drawn highlighted.
            const QImage image = view->viewport()->grab().toImage();
            return view->verticalScrollBar()->value() == (event - 1) * lh &&
                   image.pixelColor(2, lh / 2) != image.pixelColor(2, lh + lh / 2) &&
                   image.pixelColor(2, lh + lh / 2) == image.pixelColor(2, 2 * lh + lh / 2);
        };

        answer = QStringLiteral("2009-10-21 11:00");
        QTest::keyClick(frame, Qt::Key_G, Qt::ControlModifier);
        QVERIFY(shown(121));
        answer = QStringLiteral("dEE");
        QTest::keyClick(frame, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(shown(182));
        QTest::keyClick(frame, Qt::Key_F3);
        QVERIFY(shown(187));
        QTest::keyClick(frame, Qt::Key_F3, Qt::ShiftModifier);
        QVERIFY(shown(182));
        QCOMPARE(frame->MessageText(), QStringLiteral("For Help, press F1"));
        QTest::keyClick(frame, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(view->MarkedRow()->eventIndex, 237);
        QCOMPARE(frame->MessageText(),
                 QStringLiteral("Passed the start of the list; continued from the end."));
        QCOMPARE(m_sink.Texts(), QStringList());

        byNumber = true;
        answer = QStringLiteral("42");
        QTest::keyClick(frame, Qt::Key_F, Qt::ControlModifier);
        answer = QStringLiteral("2030-01-01");
        QTest::keyClick(frame, Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(m_sink.Texts(),
                 (QStringList{"No row of the list holds user number 42.",
                              "No event is dated at or after 2030-01-01 00:00:00: the last event "
                              "is dated 2009-10-21 13:59:00."}));
        QCOMPARE(view->MarkedRow()->eventIndex, 237);
    }

    // Where the user is stays where they are: a find from a row scrolled out
    // of view starts at the top line, Clear Filter keeps the marked row (else
    // the top row) in view; the status bar counts what the list shows.
    void findAndClearFilterKeepThePlace()
    {
        const QString db = Database(QStringLiteral("place.db"), 300);
        QVERIFY(!db.isEmpty());
        QCOMPARE(testdb::exec(db, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                   "VALUES ('Dee', 2, '2009-10-21 12:00:00', "
                                   "'2009-10-21 13:00:00')"}),
                 QString());
        auto app = Start(guitest::StartWith(db));
        QVERIFY(app);
        MainWindow* frame = app->Window();
        EventListView* view = app->ListView();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        QCOMPARE(frame->CountPane()->text(), QStringLiteral("300 events"));
        m_ui.onModal = [&](QDialog& dialog) {
            if (auto* name = dialog.findChild<QRadioButton*>(QStringLiteral("byName")))
                name->setChecked(true);
            for (QLineEdit* edit : dialog.findChildren<QLineEdit*>())
                edit->setText(QStringLiteral("dee"));
            dialog.accept();
            return dialog.result();
        };
        const auto topEvent = [&] { return view->TopRow()->eventIndex; };
        QTest::keyClick(frame, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(view->MarkedRow()->eventIndex, 182);
        // Scrolled away from the marked row, F3 starts at the top line.
        QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(frame, Qt::Key_F3);
        QCOMPARE(view->MarkedRow()->eventIndex, 182);
        QTest::keyClick(frame, Qt::Key_F3);
        QCOMPARE(view->MarkedRow()->eventIndex, 187);

        // The context menu's Filter by this user: number 2, one event in five.
        Q_EMIT view->FilterByUserRequested(2);
        QCOMPARE(view->RowCount(), qint64(60));
        QCOMPARE(frame->CountPane()->text(),
                 QStringLiteral("60 of 300 events shown; filter: user 2"));
        // Shown from the top, without the marked row: from the top line.
        QTest::keyClick(frame, Qt::Key_F3);
        QCOMPARE(view->MarkedRow()->eventIndex, 182);
        QVERIFY(guitest::Trigger(frame, "clearFilter"));
        QCOMPARE(view->RowCount(), qint64(300));
        QCOMPARE(view->MarkedRow()->eventIndex, 182);
        QCOMPARE(topEvent(), 182);
        QCOMPARE(frame->CountPane()->text(), QStringLiteral("300 events"));

        // Without a marked row in view, the top row stays on top.
        Q_EMIT view->FilterByUserRequested(4);
        view->verticalScrollBar()->setValue(20 * view->LineHeight());
        const qint64 top = topEvent();
        QCOMPARE(top, 104); // the 21st event of number 4
        QVERIFY(guitest::Trigger(frame, "clearFilter"));
        QCOMPARE(topEvent(), top);
    }
};

QTEST_MAIN(TestAppShell)
#include "test_app_shell.moc"
