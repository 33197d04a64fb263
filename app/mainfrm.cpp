#include "app/mainfrm.h"

#include "app/dialogs/icons.h"
#include "app/resource.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWhatsThis>

namespace {

const int kIndicatorIds[3] = {ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};

QString RecentFileText(int i, const QString& path)
{
    QString shown = QDir::toNativeSeparators(path);
    constexpr int kMax = 60;
    if (shown.size() > kMax)
        shown = shown.left(20) + QStringLiteral("...") + shown.right(kMax - 23);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(i + 1).arg(shown);
}

const char kHelpText[] = R"(<h3>ZQreader</h3>
<p>ZQreader downloads the event log of a receiver into a database and shows the
events in a list: date, time, user number, the name of the user who held that
number at the time, and the receiver's timer value. The list follows what other
programs store in the same database by itself.</p>
<dl>
<dt><b>File &gt; New Database</b> (Ctrl+N, first toolbar button)</dt>
<dd>Creates a new, empty database from the template under a name you choose
and opens it. A file of that name is replaced after you confirm.</dd>
<dt><b>File &gt; Open Database</b> (Ctrl+O, second toolbar button)</dt>
<dd>Opens an existing database and shows its events. The last four databases
are listed in the File menu. An Access (.mdb) file is offered for conversion
into a new database.</dd>
<dt><b>File &gt; Open Server Database</b></dt>
<dd>Opens a database on a PostgreSQL server (server, port, database, user);
the password is asked for when the server wants one and kept only while the
program runs. Several desktops can share such a database; a download stored
by any of them shows in all lists at once.</dd>
<dt><b>File &gt; Export</b></dt>
<dd>Writes the rows of the list, optionally of a date range or only the
filtered ones, to a CSV file that spreadsheets open.</dd>
<dt><b>Tools &gt; Option</b></dt>
<dd>Chooses the port the receiver is connected to: a serial port the machine
lists, a device path such as /dev/serial/by-id/..., or a serial device server on
the network, written <tt>socket://HOST:PORT</tt> (raw TCP) or
<tt>rfc2217://HOST:PORT</tt> (Telnet with COM port control). The choice is
kept for the next start.</dd>
<dt><b>Tools &gt; Read events</b> (Ctrl+R, third toolbar button)</dt>
<dd>Reads the events the receiver has logged since the last download, adds
them to the open database and tells how many were read. The download cannot
be interrupted; it ends by itself. Only one read at a time goes into a
database: while another program reads into it, Read events says so and stores
nothing.</dd>
<dt><b>Tools &gt; Users</b></dt>
<dd>Shows who holds which user number when, marks periods that overlap, and
adds, edits, removes and hands over user numbers. Dates are typed as
YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS]; OK writes all changes at once, Cancel
writes nothing.</dd>
<dt><b>View &gt; Refresh</b> (F5)</dt>
<dd>Reads the list again at once, for changes other tools made to a server
database.</dd>
<dt><b>View &gt; Go to Date</b> (Ctrl+G)</dt>
<dd>Shows the first event at or after a date and time, marked.</dd>
<dt><b>View &gt; Find</b> (Ctrl+F), <b>Find Next</b> (F3), <b>Find Previous</b> (Shift+F3)</dt>
<dd>Finds the rows of a user number, or of users whose name contains a text,
from the marked row (or, when it is not on the screen, from the top line) on,
round the end of the list.</dd>
<dt><b>View &gt; Filter</b> (Ctrl+L), <b>Clear Filter</b></dt>
<dd>Shows only the events of some user numbers, of users whose name contains
a text, of one button or of a date range; the status bar tells how many of
all events pass. Clear Filter shows all events again and keeps the marked row
in view.</dd>
<dt><b>View &gt; Report</b></dt>
<dd>Counts the events of the list by day, week or month and user, with charts;
it can be printed, previewed or written as a PDF file.</dd>
</dl>
<p><b>The list.</b> Drag the borders of the column heads to change their widths.
Click a row to select it; Shift and Ctrl with a click or the arrow keys select
more, Ctrl+A all. Ctrl+C copies the selected rows as tab-separated lines, and
the right mouse button offers Copy, Filter by this user and Find this user.
Shift+F1 and a click on a part of the window tell what that part is.</p>)";

} // namespace

CMainFrame::CMainFrame(CCmdTarget* pNext) : m_pNext(pNext)
{
    setWindowIcon(LoadSvgIcon(QStringLiteral("zqreader")));
}

CMainFrame::~CMainFrame()
{
    delete m_pHelpWindow;
}

bool CMainFrame::OnCreate()
{
    CreateMenu();
    if (!CreateToolBar()) {
        qWarning("Failed to create toolbar");
        return false;
    }
    if (!CreateStatusBar()) {
        qWarning("Failed to create status bar");
        return false;
    }
    CreateAccelerators();

    m_pLockTimer = new QTimer(this);
    connect(m_pLockTimer, &QTimer::timeout, this, &CMainFrame::PollLockKeys);
    PollLockKeys();
    if (ReadLockKeys())
        m_pLockTimer->start(250);
    return true;
}

QAction* CMainFrame::MakeCommand(int id, const QString& text, QObject* parent)
{
    auto* action = new QAction(text, parent);
    action->setData(id);
    action->setStatusTip(StatusPrompt(id));
    connect(action, &QAction::triggered, this, [this, id] { OnCmdMsg(id); });
    return action;
}

void CMainFrame::CreateMenu()
{
    QMenuBar* bar = menuBar();

    m_pFileMenu = bar->addMenu(QStringLiteral("&File"));
    m_pFileMenu->addAction(
        MakeCommand(ID_FILE_SAVE_AS, QStringLiteral("&New Database\tCtrl+N"), m_pFileMenu));
    m_pFileMenu->addAction(
        MakeCommand(ID_FILE_OPEN, QStringLiteral("&Open Database...\tCtrl+O"), m_pFileMenu));
    m_pFileMenu->addAction(
        MakeCommand(ID_FILE_OPEN_SERVER, QStringLiteral("Open Ser&ver Database..."), m_pFileMenu));
    m_pFileMenu->addAction(MakeCommand(ID_FILE_EXPORT, QStringLiteral("&Export..."), m_pFileMenu));
    m_pFileMenu->addSeparator();
    m_pRecentEnd = m_pFileMenu->addSeparator();
    m_pFileMenu->addAction(MakeCommand(ID_APP_EXIT, QStringLiteral("E&xit"), m_pFileMenu));
    SetRecentFiles({});

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    tools->addAction(MakeCommand(ID_TOOLS_OPTION, QStringLiteral("&Option"), tools));
    tools->addSeparator();
    tools->addAction(
        MakeCommand(ID_TOOLS_READEVENTS, QStringLiteral("&Read events\tCtrl+R"), tools));
    tools->addSeparator();
    tools->addAction(MakeCommand(ID_TOOLS_USERS, QStringLiteral("&Users..."), tools));

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    m_pViewToolBar = MakeCommand(ID_VIEW_TOOLBAR, QStringLiteral("&Toolbar"), view);
    m_pViewStatusBar = MakeCommand(ID_VIEW_STATUS_BAR, QStringLiteral("&Status Bar"), view);
    for (QAction* a : {m_pViewToolBar, m_pViewStatusBar}) {
        a->setCheckable(true);
        a->setChecked(true);
        view->addAction(a);
    }
    view->addSeparator();
    view->addAction(MakeCommand(ID_VIEW_REFRESH, QStringLiteral("&Refresh\tF5"), view));
    view->addSeparator();
    view->addAction(MakeCommand(ID_VIEW_GOTO_DATE, QStringLiteral("&Go to Date...\tCtrl+G"), view));
    view->addAction(MakeCommand(ID_EDIT_FIND, QStringLiteral("&Find...\tCtrl+F"), view));
    view->addAction(MakeCommand(ID_EDIT_REPEAT, QStringLiteral("Find &Next\tF3"), view));
    view->addAction(
        MakeCommand(ID_EDIT_FIND_PREVIOUS, QStringLiteral("Find Pre&vious\tShift+F3"), view));
    view->addSeparator();
    view->addAction(MakeCommand(ID_VIEW_FILTER, QStringLiteral("&Filter...\tCtrl+L"), view));
    view->addAction(MakeCommand(ID_VIEW_CLEAR_FILTER, QStringLiteral("&Clear Filter"), view));
    view->addSeparator();
    view->addAction(MakeCommand(ID_VIEW_REPORT, QStringLiteral("Re&port..."), view));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(MakeCommand(ID_HELP_FINDER, QStringLiteral("&Help Topics"), help));
    help->addSeparator();
    help->addAction(MakeCommand(ID_APP_ABOUT, QStringLiteral("&About ZQ reader..."), help));
}

bool CMainFrame::CreateToolBar()
{
    m_wndToolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_wndToolBar->setObjectName(QStringLiteral("toolbar%1").arg(int(ID_VIEW_TOOLBAR)));
    m_wndToolBar->setIconSize(QSize(16, 16));
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_wndToolBar->setMovable(true);
    m_wndToolBar->setFloatable(true);
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // The bar's own show/hide entry is View > Toolbar.
    m_wndToolBar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    struct Button
    {
        int id;
        const char* icon;
        const char* name;
        const char* whatsThis;
    };
    const Button buttons[] = {
        {ID_FILE_SAVE_AS, "newdb", "New Database",
         "New Database: creates a new, empty database from the template and opens it."},
        {ID_FILE_OPEN, "opendb", "Open Database",
         "Open Database: opens an existing database and shows its events."},
        {0, nullptr, nullptr, nullptr},
        {ID_TOOLS_READEVENTS, "readevents", "Read events",
         "Read events: reads the new events from the receiver into the open database."},
    };
    for (const Button& b : buttons) {
        if (!b.id) {
            m_wndToolBar->addSeparator();
            continue;
        }
        // No text of its own, so that a button without a tooltip string shows none.
        QAction* action = MakeCommand(b.id, QString(), m_wndToolBar);
        action->setIcon(LoadSvgIcon(QLatin1String(b.icon)));
        action->setToolTip(ToolTipText(b.id));
        action->setWhatsThis(QLatin1String(b.whatsThis));
        m_wndToolBar->addAction(action);
        if (QWidget* w = m_wndToolBar->widgetForAction(action))
            w->setAccessibleName(QLatin1String(b.name));
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    return true;
}

bool CMainFrame::CreateStatusBar()
{
    m_wndStatusBar = new QStatusBar(this);
    m_wndStatusBar->setObjectName(QStringLiteral("statusbar%1").arg(int(ID_VIEW_STATUS_BAR)));
    m_wndStatusBar->setWhatsThis(
        QStringLiteral("The status bar: what a command does, and the state of the lock keys."));
    m_pMessagePane = new QLabel(LoadString(AFX_IDS_IDLEMESSAGE), m_wndStatusBar);
    m_pMessagePane->setObjectName(QStringLiteral("messagePane"));
    m_wndStatusBar->addWidget(m_pMessagePane, 1);
    m_pCountPane = new QLabel(m_wndStatusBar);
    m_pCountPane->setObjectName(QStringLiteral("countPane"));
    // A long filter does not hold the window wide: it is cut, whole in the tooltip.
    m_pCountPane->setMinimumWidth(m_pCountPane->fontMetrics().averageCharWidth() * 12);
    m_pCountPane->setWhatsThis(
        QStringLiteral("How many events the open database holds, and with a filter how many "
                       "of them the list shows."));
    m_wndStatusBar->addPermanentWidget(m_pCountPane);
    for (int i = 0; i < 3; ++i) {
        auto* pane = new QLabel(m_wndStatusBar);
        pane->setObjectName(QStringLiteral("indicator%1").arg(kIndicatorIds[i]));
        pane->setAlignment(Qt::AlignCenter);
        pane->setFrameShape(QFrame::Panel);
        pane->setFrameShadow(QFrame::Sunken);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
        m_pIndicators[i] = pane;
        m_wndStatusBar->addPermanentWidget(pane);
    }
    setStatusBar(m_wndStatusBar);
    return true;
}

void CMainFrame::CreateAccelerators()
{
    const struct
    {
        QKeySequence keys;
        int id;
    } table[] = {
        // As the File menu shows it: New Database.
        {QKeySequence(Qt::CTRL | Qt::Key_N), ID_FILE_SAVE_AS},
        {QKeySequence(Qt::CTRL | Qt::Key_O), ID_FILE_OPEN},
        {QKeySequence(Qt::CTRL | Qt::Key_S), ID_FILE_SAVE},
        {QKeySequence(Qt::CTRL | Qt::Key_Z), ID_EDIT_UNDO},
        {QKeySequence(Qt::CTRL | Qt::Key_X), ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_C), ID_EDIT_COPY},
        {QKeySequence(Qt::CTRL | Qt::Key_V), ID_EDIT_PASTE},
        {QKeySequence(Qt::ALT | Qt::Key_Backspace), ID_EDIT_UNDO},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), ID_EDIT_COPY},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), ID_EDIT_PASTE},
        {QKeySequence(Qt::Key_F6), ID_NEXT_PANE},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), ID_PREV_PANE},
        {QKeySequence(Qt::SHIFT | Qt::Key_F1), ID_CONTEXT_HELP},
        {QKeySequence(Qt::Key_F1), ID_HELP},
        {QKeySequence(Qt::Key_F5), ID_VIEW_REFRESH},
        {QKeySequence(Qt::CTRL | Qt::Key_G), ID_VIEW_GOTO_DATE},
        {QKeySequence(Qt::CTRL | Qt::Key_F), ID_EDIT_FIND},
        {QKeySequence(Qt::Key_F3), ID_EDIT_REPEAT},
        {QKeySequence(Qt::SHIFT | Qt::Key_F3), ID_EDIT_FIND_PREVIOUS},
        {QKeySequence(Qt::CTRL | Qt::Key_L), ID_VIEW_FILTER},
        {QKeySequence(Qt::CTRL | Qt::Key_R), ID_TOOLS_READEVENTS},
    };
    for (const auto& entry : table) {
        auto* action = new QAction(this);
        action->setData(entry.id);
        action->setShortcut(entry.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        const int id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCmdMsg(id); });
        addAction(action);
        m_accelerators << action;
    }
}

bool CMainFrame::OnCmdMsg(int id)
{
    switch (id) {
    case ID_HELP_FINDER:
    case ID_HELP:
    case ID_DEFAULT_HELP:
        ShowHelp();
        return true;
    case ID_CONTEXT_HELP:
        EnterHelpMode();
        return true;
    case ID_VIEW_TOOLBAR:
        ToggleBar(m_wndToolBar);
        return true;
    case ID_VIEW_STATUS_BAR:
        ToggleBar(m_wndStatusBar);
        return true;
    default:
        // Commands nobody handles (the edit and pane keys) do nothing.
        return m_pNext && m_pNext->OnCmdMsg(id);
    }
}

void CMainFrame::ToggleBar(QWidget* bar)
{
    if (!bar)
        return;
    bar->setVisible(!bar->isVisible());
    m_pViewToolBar->setChecked(!m_wndToolBar->isHidden());
    m_pViewStatusBar->setChecked(!m_wndStatusBar->isHidden());
}

void CMainFrame::ShowHelp()
{
    if (!m_pHelpWindow) {
        auto* window = new QDialog(this, Qt::Window);
        window->setObjectName(QStringLiteral("helpWindow"));
        window->setWindowTitle(QStringLiteral("ZQreader Help"));
        auto* text = new QTextBrowser(window);
        text->setHtml(QLatin1String(kHelpText));
        auto* close = new QPushButton(QStringLiteral("Close"), window);
        connect(close, &QPushButton::clicked, window, &QDialog::close);
        auto* layout = new QVBoxLayout(window);
        layout->addWidget(text);
        layout->addWidget(close, 0, Qt::AlignRight);
        window->resize(480, 420);
        m_pHelpWindow = window;
    }
    m_pHelpWindow->show();
    m_pHelpWindow->raise();
    m_pHelpWindow->activateWindow();
}

void CMainFrame::EnterHelpMode()
{
    if (QWhatsThis::inWhatsThisMode())
        return;
    QWhatsThis::enterWhatsThisMode();
    if (m_wndStatusBar)
        m_wndStatusBar->showMessage(LoadString(AFX_IDS_HELPMODEMESSAGE));
}

bool CMainFrame::event(QEvent* event)
{
    if (event->type() == QEvent::LeaveWhatsThisMode && m_wndStatusBar)
        m_wndStatusBar->clearMessage();
    if (event->type() == QEvent::StatusTip && m_pMessagePane) {
        // A command without a prompt leaves the pane empty while it is under
        // the pointer, rather than showing the idle text.
        const auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        const QAction* hovered = menu ? menu->activeAction() : nullptr;
        const bool noPrompt = hovered && hovered->data().isValid() && !hovered->menu() &&
                              hovered->statusTip().isEmpty();
        m_pMessagePane->setText(noPrompt ? QString() : LoadString(AFX_IDS_IDLEMESSAGE));
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    // The help window goes with the main window, so that the program ends.
    if (event->isAccepted() && m_pHelpWindow)
        m_pHelpWindow->close();
}

void CMainFrame::SetView(QWidget* pView)
{
    setCentralWidget(pView);
}

void CMainFrame::OnUpdateFrameTitle(const QString& docTitle)
{
    setWindowTitle(docTitle + QStringLiteral(" - ZQreader"));
}

void CMainFrame::SetRecentFiles(const QStringList& paths)
{
    if (!m_pFileMenu)
        return;
    for (QAction* a : std::as_const(m_recentActions)) {
        m_pFileMenu->removeAction(a);
        delete a;
    }
    m_recentActions.clear();
    if (paths.isEmpty()) {
        QAction* placeholder =
            MakeCommand(ID_FILE_MRU_FILE1, QStringLiteral("Recent File"), m_pFileMenu);
        placeholder->setEnabled(false);
        m_recentActions << placeholder;
    }
    for (int i = 0; i < paths.size() && i < kMaxRecentFiles; ++i) {
        QAction* a =
            MakeCommand(ID_FILE_MRU_FILE1 + i, RecentFileText(i, paths.at(i)), m_pFileMenu);
        a->setToolTip(QDir::toNativeSeparators(paths.at(i)));
        m_recentActions << a;
    }
    m_pFileMenu->insertActions(m_pRecentEnd, m_recentActions);
}

void CMainFrame::SetListCount(const QString& text)
{
    if (!m_pCountPane)
        return;
    // A long filter is shown whole in the tooltip.
    const QFontMetrics fm(m_pCountPane->font());
    m_pCountPane->setText(fm.elidedText(text, Qt::ElideRight, fm.averageCharWidth() * 60));
    m_pCountPane->setToolTip(text);
}

QLabel* CMainFrame::GetIndicatorPane(int id) const
{
    for (int i = 0; i < 3; ++i) {
        if (kIndicatorIds[i] == id)
            return m_pIndicators[i];
    }
    return nullptr;
}

QString CMainFrame::GetMessageText() const
{
    if (!m_wndStatusBar)
        return {};
    const QString message = m_wndStatusBar->currentMessage();
    return message.isEmpty() ? m_pMessagePane->text() : message;
}

void CMainFrame::SetLockKeyState(const std::optional<LockKeyState>& state)
{
    const bool on[3] = {state && state->caps, state && state->num, state && state->scroll};
    for (int i = 0; i < 3; ++i) {
        if (m_pIndicators[i])
            m_pIndicators[i]->setText(on[i] ? LoadString(kIndicatorIds[i]) : QString());
    }
}

void CMainFrame::PollLockKeys()
{
    SetLockKeyState(ReadLockKeys());
}
