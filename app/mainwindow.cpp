#include "app/mainwindow.h"

#include "app/desktopapp.h"
#include "app/dialogs/icons.h"
#include "app/recentfiles.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWhatsThis>

namespace {

QString RecentFileText(int i, const QString& path)
{
    QString shown = QDir::toNativeSeparators(path);
    constexpr int kMax = 60;
    if (shown.size() > kMax)
        shown = shown.left(20) + QStringLiteral("...") + shown.right(kMax - 23);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(i + 1).arg(shown);
}

} // namespace

MainWindow::MainWindow(DesktopApp* app) : m_app(app)
{
    setWindowIcon(LoadSvgIcon(QStringLiteral("zqreader")));
    CreateFileMenu(app);
    CreateToolsMenu(app);
    CreateViewMenu(app);
    CreateHelpMenu(app);
    CreateKeys(app);
    CreateToolBar();
    CreateStatusBar();

    m_lockTimer = new QTimer(this);
    connect(m_lockTimer, &QTimer::timeout, this, &MainWindow::PollLockKeys);
    PollLockKeys();
    if (ReadLockKeys())
        m_lockTimer->start(250);
}

MainWindow::~MainWindow()
{
    delete m_helpWindow;
}

QAction* MainWindow::MakeAction(const char* name, const QString& text, const QString& statusTip,
                                const QString& toolTip, const QList<QKeySequence>& keys)
{
    auto* action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    action->setStatusTip(statusTip);
    if (!toolTip.isEmpty())
        action->setToolTip(toolTip);
    // The first key is the one the menu shows.
    action->setShortcuts(keys);
    return action;
}

void MainWindow::CreateFileMenu(DesktopApp* app)
{
    m_fileMenu = menuBar()->addMenu(tr("&File"));
    // Save never writes the template over the open database: Ctrl+S asks for
    // a new one, as New Database does.
    QAction* newDatabase =
        MakeAction("newDatabase", tr("&New Database"), tr("Create a new Database"), tr("Save As"),
                   {QKeySequence(Qt::CTRL | Qt::Key_N), QKeySequence(Qt::CTRL | Qt::Key_S)});
    connect(newDatabase, &QAction::triggered, app, &DesktopApp::NewDatabase);
    QAction* open =
        MakeAction("openDatabase", tr("&Open Database..."), tr("Open an existing Database"),
                   tr("Open"), {QKeySequence(Qt::CTRL | Qt::Key_O)});
    connect(open, &QAction::triggered, app, &DesktopApp::OpenDatabase);
    QAction* server = MakeAction("openServerDatabase", tr("Open Ser&ver Database..."),
                                 tr("Open a Database on a server"), tr("Open Server"));
    connect(server, &QAction::triggered, app, &DesktopApp::OpenServerDatabase);
    QAction* exportEvents =
        MakeAction("exportEvents", tr("&Export..."),
                   tr("Write the events of the list to a CSV file"), tr("Export"));
    connect(exportEvents, &QAction::triggered, app, &DesktopApp::ExportEvents);
    QAction* exit = MakeAction("exit", tr("E&xit"),
                               tr("Quit the application; prompts to save documents"), tr("Exit"));
    connect(exit, &QAction::triggered, app, &DesktopApp::Quit);

    m_fileMenu->addActions({newDatabase, open, server, exportEvents});
    m_fileMenu->addSeparator();
    m_recentEnd = m_fileMenu->addSeparator();
    m_fileMenu->addAction(exit);
    SetRecentFiles({});
}

void MainWindow::CreateToolsMenu(DesktopApp* app)
{
    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    // Option has no hint: the status bar goes blank while it is under the pointer.
    QAction* option = MakeAction("option", tr("&Option"), QString());
    connect(option, &QAction::triggered, app, &DesktopApp::ChoosePort);
    QAction* read =
        MakeAction("readEvents", tr("&Read events"), tr("Read a new events from the receiver"),
                   QString(), {QKeySequence(Qt::CTRL | Qt::Key_R)});
    connect(read, &QAction::triggered, app, &DesktopApp::ReadEvents);
    QAction* users = MakeAction("users", tr("&Users..."),
                                tr("Edit who holds which user number when"), tr("Users"));
    connect(users, &QAction::triggered, app, &DesktopApp::EditUsers);
    tools->addAction(option);
    tools->addSeparator();
    tools->addAction(read);
    tools->addSeparator();
    tools->addAction(users);
}

void MainWindow::CreateViewMenu(DesktopApp* app)
{
    QMenu* view = menuBar()->addMenu(tr("&View"));
    m_viewToolBar = MakeAction("toggleToolBar", tr("&Toolbar"), tr("Show or hide the toolbar"),
                               tr("Toggle ToolBar"));
    connect(m_viewToolBar, &QAction::triggered, this, [this] { ToggleBar(m_toolBar); });
    m_viewStatusBar = MakeAction("toggleStatusBar", tr("&Status Bar"),
                                 tr("Show or hide the status bar"), tr("Toggle StatusBar"));
    connect(m_viewStatusBar, &QAction::triggered, this, [this] { ToggleBar(m_statusBar); });
    for (QAction* bar : {m_viewToolBar, m_viewStatusBar}) {
        bar->setCheckable(true);
        bar->setChecked(true);
        view->addAction(bar);
    }

    const struct
    {
        const char* name;
        QString text;
        QString statusTip;
        QString toolTip;
        QKeySequence key;
        void (DesktopApp::*slot)();
        bool separated; // a separator before it
    } commands[] = {
        {"refresh", tr("&Refresh"), tr("Read the list again"), tr("Refresh"),
         QKeySequence(Qt::Key_F5), &DesktopApp::Refresh, true},
        {"goToDate", tr("&Go to Date..."), tr("Show the first event at or after a date"),
         tr("Go to Date"), QKeySequence(Qt::CTRL | Qt::Key_G), &DesktopApp::GoToDate, true},
        {"find", tr("&Find..."), tr("Find a user name or a user number in the list"), tr("Find"),
         QKeySequence(Qt::CTRL | Qt::Key_F), &DesktopApp::Find, false},
        {"findNext", tr("Find &Next"), tr("Find the next row that matches"), tr("Find Next"),
         QKeySequence(Qt::Key_F3), &DesktopApp::FindNext, false},
        {"findPrevious", tr("Find Pre&vious"), tr("Find the previous row that matches"),
         tr("Find Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3), &DesktopApp::FindPrevious,
         false},
        {"filter", tr("&Filter..."),
         tr("Show only the events of some users, names, a button or dates"), tr("Filter"),
         QKeySequence(Qt::CTRL | Qt::Key_L), &DesktopApp::FilterList, true},
        {"clearFilter", tr("&Clear Filter"), tr("Show all events again"), tr("Clear Filter"),
         QKeySequence(), &DesktopApp::ClearFilter, false},
        {"report", tr("Re&port..."), tr("Count the events by period and user, with charts"),
         tr("Report"), QKeySequence(), &DesktopApp::ShowReport, true},
    };
    for (const auto& command : commands) {
        QAction* action = MakeAction(command.name, command.text, command.statusTip, command.toolTip,
                                     command.key.isEmpty() ? QList<QKeySequence>()
                                                           : QList<QKeySequence>{command.key});
        connect(action, &QAction::triggered, app, command.slot);
        if (command.separated)
            view->addSeparator();
        view->addAction(action);
    }
}

void MainWindow::CreateHelpMenu(DesktopApp* app)
{
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* topics =
        MakeAction("helpTopics", tr("&Help Topics"), tr("List Help topics"), tr("Help Topics"));
    connect(topics, &QAction::triggered, this, &MainWindow::ShowHelp);
    QAction* about = MakeAction("about", tr("&About ZQ reader..."), tr("About ZQ reader"));
    connect(about, &QAction::triggered, app, &DesktopApp::About);
    help->addAction(topics);
    help->addSeparator();
    help->addAction(about);
}

void MainWindow::CreateKeys(DesktopApp* app)
{
    // Keys without a menu item of their own. The window's other keys of the
    // classic edit and pane commands (Ctrl+Z, Ctrl+X, Ctrl+V, F6, ...) have
    // no command here and do nothing.
    QAction* help = MakeAction("help", QString(), QString(), {}, {QKeySequence(Qt::Key_F1)});
    connect(help, &QAction::triggered, this, &MainWindow::ShowHelp);
    QAction* whatsThis =
        MakeAction("whatsThis", QString(), QString(), {}, {QKeySequence(Qt::SHIFT | Qt::Key_F1)});
    connect(whatsThis, &QAction::triggered, this, &MainWindow::EnterWhatsThisMode);
    QAction* copy =
        MakeAction("copy", QString(), QString(), {},
                   {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
    connect(copy, &QAction::triggered, app, &DesktopApp::CopySelection);
    addActions({help, whatsThis, copy});
}

void MainWindow::CreateToolBar()
{
    m_toolBar = new QToolBar(tr("Toolbar"), this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->setMovable(true);
    m_toolBar->setFloatable(true);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // The bar's own show/hide entry is View > Toolbar.
    m_toolBar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    // Read events has no tooltip of its own: its button shows none.
    const struct
    {
        const char* command;
        const char* icon;
        QString name;
        QString toolTip;
        QString whatsThis;
    } buttons[] = {
        {"newDatabase", "newdb", tr("New Database"), tr("Save As"),
         tr("New Database: creates a new, empty database from the template and opens it.")},
        {"openDatabase", "opendb", tr("Open Database"), tr("Open"),
         tr("Open Database: opens an existing database and shows its events.")},
        {nullptr, nullptr, {}, {}, {}},
        {"readEvents", "readevents", tr("Read events"), QString(),
         tr("Read events: reads the new events from the receiver into the open database.")},
    };
    for (const auto& b : buttons) {
        if (!b.command) {
            m_toolBar->addSeparator();
            continue;
        }
        auto* command = findChild<QAction*>(QLatin1String(b.command), Qt::FindDirectChildrenOnly);
        // A button of its own without text, so that it shows no tooltip
        // made of the command's text.
        auto* button = new QAction(this);
        button->setObjectName(QLatin1String(b.command) + QStringLiteral("Button"));
        button->setIcon(LoadSvgIcon(QLatin1String(b.icon)));
        button->setStatusTip(command->statusTip());
        button->setToolTip(b.toolTip);
        button->setWhatsThis(b.whatsThis);
        connect(button, &QAction::triggered, command, &QAction::trigger);
        m_toolBar->addAction(button);
        if (QWidget* w = m_toolBar->widgetForAction(button))
            w->setAccessibleName(b.name);
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
}

void MainWindow::CreateStatusBar()
{
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("statusBar"));
    m_statusBar->setWhatsThis(
        tr("The status bar: what a command does, and the state of the lock keys."));
    m_messagePane = new QLabel(tr("For Help, press F1"), m_statusBar);
    m_messagePane->setObjectName(QStringLiteral("messagePane"));
    m_statusBar->addWidget(m_messagePane, 1);
    m_countPane = new QLabel(m_statusBar);
    m_countPane->setObjectName(QStringLiteral("countPane"));
    // A long filter does not hold the window wide: it is cut, whole in the tooltip.
    m_countPane->setMinimumWidth(m_countPane->fontMetrics().averageCharWidth() * 12);
    m_countPane->setWhatsThis(tr("How many events the open database holds, and with a filter "
                                 "how many of them the list shows."));
    m_statusBar->addPermanentWidget(m_countPane);
    const char* const names[3] = {"capsLock", "numLock", "scrollLock"};
    for (int i = 0; i < 3; ++i) {
        auto* pane = new QLabel(m_statusBar);
        pane->setObjectName(QLatin1String(names[i]));
        pane->setAlignment(Qt::AlignCenter);
        pane->setFrameShape(QFrame::Panel);
        pane->setFrameShadow(QFrame::Sunken);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(tr("SCRL")) + 12);
        m_lockKeyPanes[i] = pane;
        m_statusBar->addPermanentWidget(pane);
    }
    setStatusBar(m_statusBar);
}

void MainWindow::ToggleBar(QWidget* bar)
{
    bar->setVisible(!bar->isVisible());
    m_viewToolBar->setChecked(!m_toolBar->isHidden());
    m_viewStatusBar->setChecked(!m_statusBar->isHidden());
}

void MainWindow::ShowHelp()
{
    if (!m_helpWindow) {
        auto* window = new QDialog(this, Qt::Window);
        window->setObjectName(QStringLiteral("helpWindow"));
        window->setWindowTitle(tr("ZQreader Help"));
        auto* text = new QTextBrowser(window);
        QFile page(QStringLiteral(":/help/help.html"));
        if (page.open(QIODevice::ReadOnly))
            text->setHtml(QString::fromUtf8(page.readAll()));
        auto* close = new QPushButton(tr("Close"), window);
        connect(close, &QPushButton::clicked, window, &QDialog::close);
        auto* layout = new QVBoxLayout(window);
        layout->addWidget(text);
        layout->addWidget(close, 0, Qt::AlignRight);
        window->resize(480, 420);
        m_helpWindow = window;
    }
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

void MainWindow::EnterWhatsThisMode()
{
    if (QWhatsThis::inWhatsThisMode())
        return;
    QWhatsThis::enterWhatsThisMode();
    m_statusBar->showMessage(tr("Select an object on which to get Help"));
}

bool MainWindow::IsCommand(const QAction* action) const
{
    return action && action->parent() == this;
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::LeaveWhatsThisMode && m_statusBar)
        m_statusBar->clearMessage();
    if (event->type() == QEvent::StatusTip && m_messagePane) {
        // A command without a hint leaves the pane empty while it is under
        // the pointer, rather than showing the idle text.
        const auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        const QAction* hovered = menu ? menu->activeAction() : nullptr;
        const bool noHint = IsCommand(hovered) && hovered->statusTip().isEmpty();
        m_messagePane->setText(noHint ? QString() : tr("For Help, press F1"));
    }
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    // The help window goes with the main window, so that the program ends.
    if (event->isAccepted() && m_helpWindow)
        m_helpWindow->close();
}

void MainWindow::SetDocumentTitle(const QString& title)
{
    setWindowTitle(tr("%1 - ZQreader").arg(title));
}

void MainWindow::SetRecentFiles(const QStringList& paths)
{
    for (QAction* a : std::as_const(m_recentActions)) {
        m_fileMenu->removeAction(a);
        delete a;
    }
    m_recentActions.clear();
    if (paths.isEmpty()) {
        QAction* placeholder =
            MakeAction("recentFile1", tr("Recent File"), tr("Open this Database"));
        placeholder->setEnabled(false);
        m_recentActions << placeholder;
    }
    for (int i = 0; i < paths.size() && i < RecentFileList::kMaxFiles; ++i) {
        // The first entry's hint differs from the others', as it always did.
        QAction* a = MakeAction("", RecentFileText(i, paths.at(i)),
                                i == 0 ? tr("Open this Database") : tr("Open this document"),
                                QDir::toNativeSeparators(paths.at(i)));
        a->setObjectName(QStringLiteral("recentFile%1").arg(i + 1));
        connect(a, &QAction::triggered, m_app, [this, i] { m_app->OpenRecentFile(i); });
        m_recentActions << a;
    }
    m_fileMenu->insertActions(m_recentEnd, m_recentActions);
}

void MainWindow::SetListCount(const QString& text)
{
    // A long filter is shown whole in the tooltip.
    const QFontMetrics fm(m_countPane->font());
    m_countPane->setText(fm.elidedText(text, Qt::ElideRight, fm.averageCharWidth() * 60));
    m_countPane->setToolTip(text);
}

QLabel* MainWindow::LockKeyPane(LockKey key) const
{
    return m_lockKeyPanes[int(key)];
}

QString MainWindow::MessageText() const
{
    const QString message = m_statusBar->currentMessage();
    return message.isEmpty() ? m_messagePane->text() : message;
}

void MainWindow::SetLockKeyState(const std::optional<LockKeyState>& state)
{
    const QString texts[3] = {tr("CAP"), tr("NUM"), tr("SCRL")};
    const bool on[3] = {state && state->caps, state && state->num, state && state->scroll};
    for (int i = 0; i < 3; ++i)
        m_lockKeyPanes[i]->setText(on[i] ? texts[i] : QString());
}

void MainWindow::PollLockKeys()
{
    SetLockKeyState(ReadLockKeys());
}
