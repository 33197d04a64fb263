// The main window: menu, accelerators, toolbar, status bar and the routing of
// every command, on a real window under the offscreen platform.

#include "app/dialogs/aboutdlg.h"
#include "app/dialogs/dialogtitle.h"
#include "app/dialogs/exportdialog.h"
#include "app/dialogs/messagebox.h"
#include "app/dialogs/serverdialog.h"
#include "app/dialogs/usersdialog.h"
#include "app/mainfrm.h"
#include "app/resource.h"
#include "app/zq6.h"
#include "tests/support/guitest.h"
#include "view/zq6view.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWhatsThis>

namespace {

// "text|id" for an item, "-" for a separator; disabled items marked.
QStringList Describe(QMenu* menu)
{
    QStringList items;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            items << QStringLiteral("-");
            continue;
        }
        QString item = a->text() + QLatin1Char('|') + QString::number(a->data().toInt());
        if (!a->isEnabled())
            item += QStringLiteral("|grey");
        if (a->isCheckable())
            item += a->isChecked() ? QStringLiteral("|checked") : QStringLiteral("|unchecked");
        items << item;
    }
    return items;
}

QMenu* TopMenu(CMainFrame* frame, const QString& title)
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
    std::unique_ptr<CZq6App> m_app;
    CMainFrame* m_frame = nullptr;

    // Nothing happened: no dialog, no message, no title change, both bars up.
    void VerifyNothingHappened()
    {
        QCOMPARE(m_ui.openDialogs, 0);
        QCOMPARE(m_ui.saveDialogs, 0);
        QCOMPARE(m_ui.modalClasses, QStringList());
        QCOMPARE(m_sink.Texts(), QStringList());
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Event - ZQreader"));
        QVERIFY(!m_frame->GetHelpWindow() || !m_frame->GetHelpWindow()->isVisible());
        QVERIFY(m_frame->GetToolBar()->isVisible());
        QVERIFY(m_frame->GetStatusBar()->isVisible());
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
        m_app = std::make_unique<CZq6App>(&m_sink, &m_ui, &m_ports);
        QVERIFY(m_app->InitInstance({}));
        m_frame = m_app->GetMainWnd();
        QVERIFY(QTest::qWaitForWindowActive(m_frame));
    }

    void cleanup()
    {
        if (m_frame->GetHelpWindow())
            m_frame->GetHelpWindow()->close();
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
                 (QStringList{"&New Database\tCtrl+N|57604", "&Open Database...\tCtrl+O|57601",
                              "Open Ser&ver Database...|32774", "&Export...|32777", "-",
                              "Recent File|57616|grey", "-", "E&xit|57665"}));
        QCOMPARE(Describe(TopMenu(m_frame, "&Tools")),
                 (QStringList{"&Option|32772", "-", "&Read events\tCtrl+R|32773", "-",
                              "&Users...|32776"}));
        QCOMPARE(Describe(TopMenu(m_frame, "&View")),
                 (QStringList{"&Toolbar|59392|checked", "&Status Bar|59393|checked", "-",
                              "&Refresh\tF5|32775", "-", "&Go to Date...\tCtrl+G|32791",
                              "&Find...\tCtrl+F|57636", "Find &Next\tF3|57650",
                              "Find Pre&vious\tShift+F3|32790", "-", "&Filter...\tCtrl+L|32792",
                              "&Clear Filter|32793", "-", "Re&port...|32794"}));
        QCOMPARE(Describe(TopMenu(m_frame, "&Help")),
                 (QStringList{"&Help Topics|57667", "-", "&About ZQ reader...|57664"}));

        // The keys shown in the labels belong to the accelerator table, not to
        // the items, and reach the commands the labels name.
        for (QAction* top : m_frame->menuBar()->actions()) {
            for (QAction* a : top->menu()->actions())
                QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->text()));
        }
    }

    void acceleratorTable()
    {
        QStringList table;
        for (QAction* a : m_frame->GetAccelerators())
            table << a->shortcut().toString() + QLatin1Char('|') +
                         QString::number(a->data().toInt());
        QCOMPARE(table.mid(0, 16),
                 (QStringList{"Ctrl+N|57604", "Ctrl+O|57601", "Ctrl+S|57603", "Ctrl+Z|57643",
                              "Ctrl+X|57635", "Ctrl+C|57634", "Ctrl+V|57637", "Alt+Backspace|57643",
                              "Shift+Del|57635", "Ctrl+Ins|57634", "Shift+Ins|57637", "F6|57680",
                              "Shift+F6|57681", "Shift+F1|57669", "F1|57670", "F5|32775"}));
        // Go to Date, Find, Find Next, Find Previous and Filter.
        QCOMPARE(table.mid(16), (QStringList{"Ctrl+G|32791", "Ctrl+F|57636", "F3|57650",
                                             "Shift+F3|32790", "Ctrl+L|32792", "Ctrl+R|32773"}));
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
        QVERIFY(m_frame->GetHelpWindow());
        QVERIFY(m_frame->GetHelpWindow()->isVisible());
    }

    void contextHelpMode()
    {
        QCOMPARE(m_frame->GetMessageText(), QStringLiteral("For Help, press F1"));
        QTest::keyClick(m_frame, Qt::Key_F1, Qt::ShiftModifier);
        QVERIFY(QWhatsThis::inWhatsThisMode());
        QCOMPARE(m_frame->GetMessageText(),
                 QStringLiteral("Select an object on which to get Help"));
        QWhatsThis::leaveWhatsThisMode();
        QCOMPARE(m_frame->GetMessageText(), QStringLiteral("For Help, press F1"));
        // The parts of the window say what they are.
        QVERIFY(!m_app->GetView()->whatsThis().isEmpty());
    }

    void menuCommandsReachTheirHandlers()
    {
        guitest::MenuCommand(m_frame, ID_FILE_SAVE_AS)->trigger();
        QCOMPARE(m_ui.saveDialogs, 1);
        guitest::MenuCommand(m_frame, ID_FILE_OPEN)->trigger();
        QCOMPARE(m_ui.openDialogs, 1);
        guitest::MenuCommand(m_frame, ID_TOOLS_OPTION)->trigger();
        guitest::MenuCommand(m_frame, ID_APP_ABOUT)->trigger();
        QCOMPARE(m_ui.modalClasses, (QStringList{"CZq6OptionDialog", "CAboutDlg"}));
        // Read events goes to the document, which has no database yet.
        guitest::MenuCommand(m_frame, ID_TOOLS_READEVENTS)->trigger();
        QCOMPARE(m_sink.messages.size(), 1);
        QCOMPARE(m_sink.messages.first().message.text,
                 QStringLiteral("The database is not opened !"));
        QCOMPARE(m_sink.messages.first().message.caption, QStringLiteral("Error"));
        guitest::MenuCommand(m_frame, ID_HELP_FINDER)->trigger();
        QVERIFY(m_frame->GetHelpWindow()->isVisible());
        QVERIFY(m_frame->isVisible());
        guitest::MenuCommand(m_frame, ID_APP_EXIT)->trigger();
        QVERIFY(!m_frame->isVisible());
        QVERIFY(!m_frame->GetHelpWindow()->isVisible());
    }

    void barsToggleWithCheckMarks()
    {
        QAction* toolbar = guitest::MenuCommand(m_frame, ID_VIEW_TOOLBAR);
        QAction* statusbar = guitest::MenuCommand(m_frame, ID_VIEW_STATUS_BAR);
        toolbar->trigger();
        QVERIFY(!m_frame->GetToolBar()->isVisible());
        QVERIFY(!toolbar->isChecked());
        toolbar->trigger();
        QVERIFY(m_frame->GetToolBar()->isVisible());
        QVERIFY(toolbar->isChecked());
        statusbar->trigger();
        QVERIFY(!m_frame->GetStatusBar()->isVisible());
        QVERIFY(!statusbar->isChecked());
        QVERIFY(toolbar->isChecked());
        statusbar->trigger();
        QVERIFY(m_frame->GetStatusBar()->isVisible());
        QVERIFY(statusbar->isChecked());
    }

    void toolbarButtons()
    {
        QToolBar* bar = m_frame->GetToolBar();
        QStringList ids;
        for (QAction* a : bar->actions())
            ids << (a->isSeparator() ? QStringLiteral("-") : QString::number(a->data().toInt()));
        QCOMPARE(ids, (QStringList{"57604", "57601", "-", "32773"}));
        QCOMPARE(bar->iconSize(), QSize(16, 16));

        const QList<QAction*> actions = bar->actions();
        const struct
        {
            QAction* action;
            const char* tip;
            const char* prompt;
        } expected[] = {
            {actions.at(0), "Save As", "Create a new Database"},
            {actions.at(1), "Open", "Open an existing Database"},
            {actions.at(3), "", "Read a new events from the receiver"},
        };
        for (const auto& e : expected) {
            QWidget* button = bar->widgetForAction(e.action);
            QVERIFY(button);
            QVERIFY(!e.action->icon().isNull());
            QCOMPARE(button->toolTip(), QString::fromLatin1(e.tip));
            QCOMPARE(e.action->statusTip(), QString::fromLatin1(e.prompt));
            // The pointer over the button puts its prompt in the message pane.
            QTest::mouseMove(button);
            QTRY_COMPARE(m_frame->GetMessageText(), QString::fromLatin1(e.prompt));
            QTest::mouseMove(m_app->GetView()->viewport());
            QTRY_COMPARE(m_frame->GetMessageText(), QStringLiteral("For Help, press F1"));
        }
        actions.at(3)->trigger();
        QCOMPARE(m_sink.Texts(), QStringList{"The database is not opened !"});
    }

    void statusPromptsOfMenuItems()
    {
        const QList<QPair<int, QString>> prompts = {
            {ID_FILE_SAVE_AS, "Create a new Database"},
            {ID_FILE_OPEN, "Open an existing Database"},
            {ID_FILE_MRU_FILE1, "Open this Database"},
            {ID_APP_EXIT, "Quit the application; prompts to save documents"},
            {ID_TOOLS_OPTION, ""},
            {ID_TOOLS_READEVENTS, "Read a new events from the receiver"},
            {ID_VIEW_TOOLBAR, "Show or hide the toolbar"},
            {ID_VIEW_STATUS_BAR, "Show or hide the status bar"},
            {ID_HELP_FINDER, "List Help topics"},
            {ID_APP_ABOUT, "About ZQ reader"},
            {ID_VIEW_FILTER, "Show only the events of some users, names, a button or dates"},
            {ID_VIEW_CLEAR_FILTER, "Show all events again"},
        };
        for (const auto& [id, prompt] : prompts) {
            QAction* a = guitest::MenuCommand(m_frame, id);
            QVERIFY2(a, qPrintable(QString::number(id)));
            QCOMPARE(a->statusTip(), prompt);
        }
        QCOMPARE(StatusPrompt(ID_FILE_MRU_FILE2), QStringLiteral("Open this document"));
        QCOMPARE(StatusPrompt(ID_FILE_MRU_FILE4), QStringLiteral("Open this document"));

        // Hovering an item of a menu opened from the menu bar shows its prompt.
        QMenu* tools = TopMenu(m_frame, "&Tools");
        QMenuBar* bar = m_frame->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(tools->menuAction()).center());
        QVERIFY(QTest::qWaitForWindowExposed(tools));
        QAction* read = guitest::MenuCommand(m_frame, ID_TOOLS_READEVENTS);
        QTest::mouseMove(tools, tools->actionGeometry(read).center());
        QTRY_COMPARE(m_frame->GetMessageText(),
                     QStringLiteral("Read a new events from the receiver"));
        // Option has no prompt: the pane goes blank, not back to the idle text.
        QAction* option = guitest::MenuCommand(m_frame, ID_TOOLS_OPTION);
        QTest::mouseMove(tools, tools->actionGeometry(option).center());
        QTRY_COMPARE(m_frame->GetMessageText(), QString());
        QTest::mouseMove(tools, tools->actionGeometry(read).center());
        QTRY_COMPARE(m_frame->GetMessageText(),
                     QStringLiteral("Read a new events from the receiver"));
        tools->close();
        QTRY_COMPARE(m_frame->GetMessageText(), QStringLiteral("For Help, press F1"));
    }

    void statusBarPanes()
    {
        QStatusBar* bar = m_frame->GetStatusBar();
        QCOMPARE(m_frame->GetMessagePane()->text(), QStringLiteral("For Help, press F1"));
        QLabel* caps = m_frame->GetIndicatorPane(ID_INDICATOR_CAPS);
        QLabel* num = m_frame->GetIndicatorPane(ID_INDICATOR_NUM);
        QLabel* scrl = m_frame->GetIndicatorPane(ID_INDICATOR_SCRL);
        QVERIFY(caps && num && scrl);
        // Left to right after the message pane.
        QVERIFY(m_frame->GetMessagePane()->geometry().right() < caps->geometry().left());
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
        CAboutDlg dlg(m_frame);
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
        CMessageBoxSink().ShowMessage({QStringLiteral("Error initializing serial port"),
                                       QStringLiteral("Error"),
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
        dialogs.push_back(std::make_unique<CAboutDlg>(m_frame));
        dialogs.push_back(std::make_unique<CZq6OptionDialog>(m_frame));
        dialogs.push_back(std::make_unique<CServerDialog>(m_frame));
        dialogs.push_back(
            std::make_unique<CPasswordDialog>(m_frame, "zq on db", "zq_office", true));
        dialogs.push_back(std::make_unique<CUserPeriodDialog>(UserPeriod{}, m_frame));
        dialogs.push_back(std::make_unique<CHandOverDialog>(3, m_frame));
        dialogs.push_back(std::make_unique<CUsersDialog>(nullptr, nullptr, nullptr, m_frame));
        dialogs.push_back(std::make_unique<CExportDialog>("events.csv", m_frame));
        auto progress = std::make_unique<CZQ6Dialog>(m_frame);
        QVERIFY(progress->Create());
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
