// The main window: menus, keys, toolbar, status bar and where every command
// goes, on a real window under the offscreen platform.

#include "app/desktopapp.h"
#include "app/dialogs/aboutdialog.h"
#include "app/dialogs/dialogtitle.h"
#include "app/dialogs/exportdialog.h"
#include "app/dialogs/messagebox.h"
#include "app/dialogs/serverdialog.h"
#include "app/dialogs/usersdialog.h"
#include "app/mainwindow.h"
#include "tests/support/guitest.h"
#include "view/eventlistview.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWhatsThis>

namespace {

// "text<tab>key|name" for an item as the menu shows it (the key only where
// it shows one), "-" for a separator; disabled items marked.
QStringList Describe(QMenu* menu)
{
    QStringList items;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            items << QStringLiteral("-");
            continue;
        }
        QString item = a->text();
        if (!a->shortcut().isEmpty())
            item += QLatin1Char('\t') + a->shortcut().toString(QKeySequence::NativeText);
        item += QLatin1Char('|') + a->objectName();
        if (!a->isEnabled())
            item += QStringLiteral("|grey");
        if (a->isCheckable())
            item += a->isChecked() ? QStringLiteral("|checked") : QStringLiteral("|unchecked");
        items << item;
    }
    return items;
}

QMenu* TopMenu(MainWindow* frame, const QString& title)
{
    for (QAction* a : frame->menuBar()->actions()) {
        if (a->text() == title)
            return a->menu();
    }
    return nullptr;
}

} // namespace

class TestAppFrame : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    guitest::RecordingSink m_sink;
    guitest::ScriptedUi m_ui;
    guitest::FixedPorts m_ports{{QStringLiteral("COM1")}};
    std::unique_ptr<DesktopApp> m_app;
    MainWindow* m_frame = nullptr;

    // Nothing happened: no dialog, no message, no title change, both bars up.
    void VerifyNothingHappened()
    {
        QCOMPARE(m_ui.openDialogs, 0);
        QCOMPARE(m_ui.saveDialogs, 0);
        QCOMPARE(m_ui.modalClasses, QStringList());
        QCOMPARE(m_sink.Texts(), QStringList());
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Event - ZQreader"));
        QVERIFY(!m_frame->HelpWindow() || !m_frame->HelpWindow()->isVisible());
        QVERIFY(m_frame->ToolBar()->isVisible());
        QVERIFY(m_frame->statusBar()->isVisible());
        QVERIFY(m_frame->isVisible());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
    }

    void init()
    {
        m_sink.messages.clear();
        m_ui = guitest::ScriptedUi();
        m_app = std::make_unique<DesktopApp>(&m_sink, &m_ui, &m_ports);
        QVERIFY(m_app->Start({}));
        m_frame = m_app->Window();
        QVERIFY(QTest::qWaitForWindowActive(m_frame));
    }

    void cleanup()
    {
        if (QWhatsThis::inWhatsThisMode())
            QWhatsThis::leaveWhatsThisMode();
        if (m_frame->HelpWindow())
            m_frame->HelpWindow()->close();
        m_app.reset();
        m_frame = nullptr;
    }

    void menuTree()
    {
        QStringList titles;
        for (QAction* a : m_frame->menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList{"&File", "&Tools", "&View", "&Help"}));

        QCOMPARE(Describe(TopMenu(m_frame, "&File")),
                 (QStringList{
                     "&New Database\tCtrl+N|newDatabase", "&Open Database...\tCtrl+O|openDatabase",
                     "Open Ser&ver Database...|openServerDatabase", "&Export...|exportEvents", "-",
                     "Recent File|recentFile1|grey", "-", "E&xit|exit"}));
        QCOMPARE(Describe(TopMenu(m_frame, "&Tools")),
                 (QStringList{"&Option|option", "-", "&Read events\tCtrl+R|readEvents", "-",
                              "&Users...|users"}));
        QCOMPARE(
            Describe(TopMenu(m_frame, "&View")),
            (QStringList{"&Toolbar|toggleToolBar|checked", "&Status Bar|toggleStatusBar|checked",
                         "-", "&Refresh\tF5|refresh", "-", "&Go to Date...\tCtrl+G|goToDate",
                         "&Find...\tCtrl+F|find", "Find &Next\tF3|findNext",
                         "Find Pre&vious\tShift+F3|findPrevious", "-", "&Filter...\tCtrl+L|filter",
                         "&Clear Filter|clearFilter", "-", "Re&port...|report"}));
        QCOMPARE(Describe(TopMenu(m_frame, "&Help")),
                 (QStringList{"&Help Topics|helpTopics", "-", "&About ZQ reader...|about"}));
    }

    // Every key of the window reaches the command the menu names beside it,
    // and the keys without a menu item reach theirs.
    void keysTriggerTheirActions_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("action");
        const int ctrl = Qt::ControlModifier;
        const int shift = Qt::ShiftModifier;
        QTest::newRow("Ctrl+N") << int(Qt::Key_N) << ctrl << "newDatabase";
        QTest::newRow("Ctrl+O") << int(Qt::Key_O) << ctrl << "openDatabase";
        QTest::newRow("Ctrl+S asks for a new database") << int(Qt::Key_S) << ctrl << "newDatabase";
        QTest::newRow("Ctrl+C") << int(Qt::Key_C) << ctrl << "copy";
        QTest::newRow("Ctrl+Insert") << int(Qt::Key_Insert) << ctrl << "copy";
        QTest::newRow("Shift+F1") << int(Qt::Key_F1) << shift << "whatsThis";
        QTest::newRow("F1") << int(Qt::Key_F1) << 0 << "help";
        QTest::newRow("F5") << int(Qt::Key_F5) << 0 << "refresh";
        QTest::newRow("Ctrl+G") << int(Qt::Key_G) << ctrl << "goToDate";
        QTest::newRow("Ctrl+F") << int(Qt::Key_F) << ctrl << "find";
        QTest::newRow("F3") << int(Qt::Key_F3) << 0 << "findNext";
        QTest::newRow("Shift+F3") << int(Qt::Key_F3) << shift << "findPrevious";
        QTest::newRow("Ctrl+L") << int(Qt::Key_L) << ctrl << "filter";
        QTest::newRow("Ctrl+R") << int(Qt::Key_R) << ctrl << "readEvents";
    }

    void keysTriggerTheirActions()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, action);
        QAction* command = guitest::Command(m_frame, qPrintable(action));
        QVERIFY(command);
        QSignalSpy triggered(command, &QAction::triggered);
        QTest::keyClick(m_frame, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(triggered.count(), 1);
    }

    void keysWithoutHandlerDoNothing_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Ctrl+Z") << int(Qt::Key_Z) << int(Qt::ControlModifier);
        QTest::newRow("Ctrl+X") << int(Qt::Key_X) << int(Qt::ControlModifier);
        QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier);
        QTest::newRow("Ctrl+V") << int(Qt::Key_V) << int(Qt::ControlModifier);
        QTest::newRow("Alt+Backspace") << int(Qt::Key_Backspace) << int(Qt::AltModifier);
        QTest::newRow("Shift+Delete") << int(Qt::Key_Delete) << int(Qt::ShiftModifier);
        QTest::newRow("Ctrl+Insert") << int(Qt::Key_Insert) << int(Qt::ControlModifier);
        QTest::newRow("Shift+Insert") << int(Qt::Key_Insert) << int(Qt::ShiftModifier);
        QTest::newRow("F6") << int(Qt::Key_F6) << int(Qt::NoModifier);
        QTest::newRow("Shift+F6") << int(Qt::Key_F6) << int(Qt::ShiftModifier);
    }

    void keysWithoutHandlerDoNothing()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QTest::keyClick(m_frame, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCoreApplication::processEvents();
        VerifyNothingHappened();
    }

    void keysReachTheirCommands()
    {
        // Ctrl+N is New Database, as the menu shows it: it asks for the new
        // file. Ctrl+O and Ctrl+S ask for a file too.
        QTest::keyClick(m_frame, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(m_ui.saveDialogs, 1);
        QCOMPARE(m_ui.openDialogs, 0);
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Event - ZQreader"));
        QTest::keyClick(m_frame, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(m_ui.openDialogs, 1);
        QTest::keyClick(m_frame, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(m_ui.saveDialogs, 2);
        QCOMPARE(m_sink.Texts(), QStringList());

        QTest::keyClick(m_frame, Qt::Key_F1);
        QVERIFY(m_frame->HelpWindow());
        QVERIFY(m_frame->HelpWindow()->isVisible());
    }

    void contextHelpMode()
    {
        QCOMPARE(m_frame->MessageText(), QStringLiteral("For Help, press F1"));
        QTest::keyClick(m_frame, Qt::Key_F1, Qt::ShiftModifier);
        QVERIFY(QWhatsThis::inWhatsThisMode());
        QCOMPARE(m_frame->MessageText(), QStringLiteral("Select an object on which to get Help"));
        QWhatsThis::leaveWhatsThisMode();
        QCOMPARE(m_frame->MessageText(), QStringLiteral("For Help, press F1"));
        // The parts of the window say what they are.
        QVERIFY(!m_app->ListView()->whatsThis().isEmpty());
    }

    void menuCommandsReachTheirHandlers()
    {
        QVERIFY(guitest::Trigger(m_frame, "newDatabase"));
        QCOMPARE(m_ui.saveDialogs, 1);
        QVERIFY(guitest::Trigger(m_frame, "openDatabase"));
        QCOMPARE(m_ui.openDialogs, 1);
        QVERIFY(guitest::Trigger(m_frame, "option"));
        QVERIFY(guitest::Trigger(m_frame, "about"));
        QCOMPARE(m_ui.modalClasses, (QStringList{"OptionsDialog", "AboutDialog"}));
        // Read events goes to the document, which has no database yet.
        QVERIFY(guitest::Trigger(m_frame, "readEvents"));
        QCOMPARE(m_sink.messages.size(), 1);
        QCOMPARE(m_sink.messages.first().message.text,
                 QStringLiteral("The database is not opened !"));
        QCOMPARE(m_sink.messages.first().message.Caption(), QStringLiteral("Error"));
        QVERIFY(guitest::Trigger(m_frame, "helpTopics"));
        QVERIFY(m_frame->HelpWindow()->isVisible());
        QVERIFY(m_frame->isVisible());
        QVERIFY(guitest::Trigger(m_frame, "exit"));
        QVERIFY(!m_frame->isVisible());
        QVERIFY(!m_frame->HelpWindow()->isVisible());
    }

    void barsToggleWithCheckMarks()
    {
        QAction* toolbar = guitest::Command(m_frame, "toggleToolBar");
        QAction* statusbar = guitest::Command(m_frame, "toggleStatusBar");
        toolbar->trigger();
        QVERIFY(!m_frame->ToolBar()->isVisible());
        QVERIFY(!toolbar->isChecked());
        toolbar->trigger();
        QVERIFY(m_frame->ToolBar()->isVisible());
        QVERIFY(toolbar->isChecked());
        statusbar->trigger();
        QVERIFY(!m_frame->statusBar()->isVisible());
        QVERIFY(!statusbar->isChecked());
        QVERIFY(toolbar->isChecked());
        statusbar->trigger();
        QVERIFY(m_frame->statusBar()->isVisible());
        QVERIFY(statusbar->isChecked());
    }

    void toolbarButtons()
    {
        QToolBar* bar = m_frame->ToolBar();
        QStringList names;
        for (QAction* a : bar->actions())
            names << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
        QCOMPARE(names,
                 (QStringList{"newDatabaseButton", "openDatabaseButton", "-", "readEventsButton"}));
        QCOMPARE(bar->iconSize(), QSize(16, 16));

        const QList<QAction*> actions = bar->actions();
        const struct
        {
            QAction* action;
            const char* command;
            const char* tip;
            const char* prompt;
        } expected[] = {
            {actions.at(0), "newDatabase", "Save As", "Create a new Database"},
            {actions.at(1), "openDatabase", "Open", "Open an existing Database"},
            {actions.at(3), "readEvents", "", "Read a new events from the receiver"},
        };
        for (const auto& e : expected) {
            // Each button runs the command the menu has.
            QSignalSpy command(guitest::Command(m_frame, e.command), &QAction::triggered);
            e.action->trigger();
            QCOMPARE(command.count(), 1);
            QWidget* button = bar->widgetForAction(e.action);
            QVERIFY(button);
            QVERIFY(!e.action->icon().isNull());
            QCOMPARE(button->toolTip(), QString::fromLatin1(e.tip));
            QCOMPARE(e.action->statusTip(), QString::fromLatin1(e.prompt));
            // The pointer over the button puts its prompt in the message pane.
            QTest::mouseMove(button);
            QTRY_COMPARE(m_frame->MessageText(), QString::fromLatin1(e.prompt));
            QTest::mouseMove(m_app->ListView()->viewport());
            QTRY_COMPARE(m_frame->MessageText(), QStringLiteral("For Help, press F1"));
        }
        QCOMPARE(m_sink.Texts(), QStringList{"The database is not opened !"});
    }

    void statusPromptsOfMenuItems()
    {
        const QList<QPair<const char*, QString>> prompts = {
            {"newDatabase", "Create a new Database"},
            {"openDatabase", "Open an existing Database"},
            {"recentFile1", "Open this Database"},
            {"exit", "Quit the application; prompts to save documents"},
            {"option", ""},
            {"readEvents", "Read a new events from the receiver"},
            {"toggleToolBar", "Show or hide the toolbar"},
            {"toggleStatusBar", "Show or hide the status bar"},
            {"helpTopics", "List Help topics"},
            {"about", "About ZQ reader"},
            {"filter", "Show only the events of some users, names, a button or dates"},
            {"clearFilter", "Show all events again"},
        };
        for (const auto& [name, prompt] : prompts) {
            QAction* a = guitest::Command(m_frame, name);
            QVERIFY2(a, name);
            QCOMPARE(a->statusTip(), prompt);
        }
        // The entries after the first of a full list.
        m_frame->SetRecentFiles({"/a.db", "/b.db", "/c.db", "/d.db"});
        QCOMPARE(guitest::Command(m_frame, "recentFile2")->statusTip(),
                 QStringLiteral("Open this document"));
        QCOMPARE(guitest::Command(m_frame, "recentFile4")->statusTip(),
                 QStringLiteral("Open this document"));

        // Hovering an item of a menu opened from the menu bar shows its prompt.
        QMenu* tools = TopMenu(m_frame, "&Tools");
        QMenuBar* bar = m_frame->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(tools->menuAction()).center());
        QVERIFY(QTest::qWaitForWindowExposed(tools));
        QAction* read = guitest::Command(m_frame, "readEvents");
        QTest::mouseMove(tools, tools->actionGeometry(read).center());
        QTRY_COMPARE(m_frame->MessageText(), QStringLiteral("Read a new events from the receiver"));
        // Option has no prompt: the pane goes blank, not back to the idle text.
        QAction* option = guitest::Command(m_frame, "option");
        QTest::mouseMove(tools, tools->actionGeometry(option).center());
        QTRY_COMPARE(m_frame->MessageText(), QString());
        QTest::mouseMove(tools, tools->actionGeometry(read).center());
        QTRY_COMPARE(m_frame->MessageText(), QStringLiteral("Read a new events from the receiver"));
        tools->close();
        QTRY_COMPARE(m_frame->MessageText(), QStringLiteral("For Help, press F1"));
    }

    void statusBarPanes()
    {
        QStatusBar* bar = m_frame->statusBar();
        QCOMPARE(m_frame->MessagePane()->text(), QStringLiteral("For Help, press F1"));
        QLabel* caps = m_frame->LockKeyPane(MainWindow::LockKey::Caps);
        QLabel* num = m_frame->LockKeyPane(MainWindow::LockKey::Num);
        QLabel* scrl = m_frame->LockKeyPane(MainWindow::LockKey::Scroll);
        QVERIFY(caps && num && scrl);
        // Left to right after the message pane.
        QVERIFY(m_frame->MessagePane()->geometry().right() < caps->geometry().left());
        QVERIFY(caps->geometry().right() < num->geometry().left());
        QVERIFY(num->geometry().right() < scrl->geometry().left());
        QCOMPARE(caps->parentWidget(), bar);

        // The offscreen platform tells nothing about the lock keys: blank.
        QCOMPARE(caps->text() + num->text() + scrl->text(), QString());
        m_frame->SetLockKeyState(LockKeyState{true, false, false});
        QCOMPARE(caps->text(), QStringLiteral("CAP"));
        QCOMPARE(num->text(), QString());
        QCOMPARE(scrl->text(), QString());
        m_frame->SetLockKeyState(LockKeyState{false, true, true});
        QCOMPARE(caps->text(), QString());
        QCOMPARE(num->text(), QStringLiteral("NUM"));
        QCOMPARE(scrl->text(), QStringLiteral("SCRL"));
        m_frame->SetLockKeyState(std::nullopt);
        QCOMPARE(caps->text() + num->text() + scrl->text(), QString());
    }

    void aboutBox()
    {
        AboutDialog dlg(m_frame);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("About Zq6"));
        QStringList texts;
        for (QLabel* label : dlg.findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                texts << label->text();
        }
        QCOMPARE(texts.size(), 2);
        QCOMPARE(texts.first(), QStringLiteral("ZQ Reader Version 1.1"));
        QVERIFY(!texts.last().isEmpty());
        const QList<QAbstractButton*> buttons = dlg.findChildren<QAbstractButton*>();
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(buttons.first()->text(), QStringLiteral("OK"));

        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClick(&dlg, Qt::Key_Return);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void messageBoxes()
    {
        // The real box, closed by the test once it is up: the reason is a line
        // of its text, with one OK button, no icon and no details button.
        QString text, title, details;
        qsizetype buttons = 0;
        QMessageBox::Icon icon = QMessageBox::Warning;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                title = box->windowTitle();
                details = box->detailedText();
                buttons = box->buttons().size();
                icon = box->icon();
                box->done(0);
            }
        });
        MessageBoxSink().ShowMessage({QStringLiteral("Error initializing serial port"),
                                      UserMessage::Kind::Error,
                                      QStringLiteral("There is no serial port <ttyS9>."), false});
        QCOMPARE(text, QStringLiteral("Error initializing serial port\n"
                                      "There is no serial port <ttyS9>."));
        QCOMPARE(title, QStringLiteral("Error"));
        QCOMPARE(details, QString());
        QCOMPARE(buttons, 1);
        QCOMPARE(icon, QMessageBox::NoIcon);
    }

    // No label of a dialog shows a stray '&' (a mnemonic without a buddy), and
    // each title bar has room for the whole title.
    void dialogLabelsAndTitles()
    {
        std::vector<std::unique_ptr<QDialog>> dialogs;
        dialogs.push_back(std::make_unique<AboutDialog>(m_frame));
        dialogs.push_back(std::make_unique<OptionsDialog>(m_frame));
        dialogs.push_back(std::make_unique<ServerDialog>(m_frame));
        dialogs.push_back(std::make_unique<PasswordDialog>(m_frame, "zq on db", "zq_office", true));
        dialogs.push_back(std::make_unique<UserPeriodDialog>(UserPeriod{}, m_frame));
        dialogs.push_back(std::make_unique<HandOverDialog>(3, m_frame));
        dialogs.push_back(std::make_unique<UsersDialog>(nullptr, nullptr, nullptr, m_frame));
        dialogs.push_back(std::make_unique<ExportDialog>("events.csv", m_frame));
        auto progress = std::make_unique<DownloadProgressDialog>(m_frame);
        progress->Start();
        dialogs.push_back(std::move(progress));
        for (const std::unique_ptr<QDialog>& dlg : dialogs) {
            dlg->show();
            QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
            for (const QLabel* label : dlg->findChildren<QLabel*>())
                QVERIFY2(!QString(label->text()).remove("&&").contains('&') || label->buddy(),
                         qPrintable(label->text()));
            QVERIFY2(dlg->width() >= TitleBarWidth(*dlg), qPrintable(dlg->windowTitle()));
        }
    }

    void windowIcon() { QVERIFY(!m_frame->windowIcon().pixmap(16, 16).isNull()); }
};

QTEST_MAIN(TestAppFrame)
#include "test_app_frame.moc"
