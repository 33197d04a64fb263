#include "app/zq6.h"

#include "app/dialogs/aboutdlg.h"
#include "app/dialogs/accessimport.h"
#include "app/dialogs/exportdialog.h"
#include "app/dialogs/filterdialog.h"
#include "app/dialogs/guidownload.h"
#include "app/dialogs/progressdialog.h"
#include "app/dialogs/reportwindow.h"
#include "app/dialogs/serverdialog.h"
#include "app/dialogs/usersdialog.h"
#include "app/mainfrm.h"
#include "app/resource.h"
#include "db/backend/dbexception.h"
#include "db/backend/serverdb.h"
#include "db/changewatch.h"
#include "db/location/dbfile.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "download/readevents.h"
#include "link/portlink.h"
#include "link/portsetting.h"
#include "view/zq6view.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int kFirstReconnectMs = 1000;
constexpr int kLongestReconnectMs = 30000;

} // namespace

CZq6App::CZq6App(MessageSink* messages, ShellUi* ui, const PortLister* ports)
    : m_pMessages(messages), m_pUi(ui ? ui : &m_defaultUi), m_pPorts(ports),
      m_recentFiles(kMaxRecentFiles)
{
}

CZq6App::~CZq6App()
{
    // The window and its view go before the document they show.
    m_pReconnect.reset();
    m_pWatch.reset();
    m_pMainWnd.reset();
    m_pView = nullptr;
    m_pDoc.reset();
}

bool CZq6App::InitInstance(const CommandLineInfo& cmdInfo)
{
    // The settings store: the port name and the recent-file list.
    QCoreApplication::setOrganizationName(QStringLiteral("Korvo"));
    QCoreApplication::setApplicationName(QStringLiteral("Zq6"));
    m_recentFiles.ReadList();

    // The document, its window and its view.
    m_pDoc = std::make_unique<CZq6Doc>(m_pMessages);
    m_pMainWnd = std::make_unique<CMainFrame>(this);
    if (!m_pMainWnd->OnCreate())
        return false;
    m_pView = new CZq6View(m_pDoc.get(), m_pMainWnd.get());
    m_pMainWnd->SetView(m_pView);
    ConnectView();
    m_pMainWnd->resize(760, 520);
    // What another program stores shows without a refresh, as our own does.
    m_pWatch = std::make_unique<ChangeWatch>();
    QObject::connect(m_pWatch.get(), &ChangeWatch::Changed, m_pMainWnd.get(),
                     [this] { m_pDoc->UpdateAllViews(); });
    QObject::connect(m_pWatch.get(), &ChangeWatch::Lost, m_pMainWnd.get(),
                     [this] { OnServerLost(); });
    m_pReconnect = std::make_unique<QTimer>();
    m_pReconnect->setSingleShot(true);
    QObject::connect(m_pReconnect.get(), &QTimer::timeout, m_pMainWnd.get(),
                     [this] { TryReconnect(); });
    UpdateRecentFiles();

    if (cmdInfo.dbPath.isEmpty())
        OnFileNew();
    else if (!OpenDocumentFile(cmdInfo.dbPath))
        return false;

    m_pMainWnd->show();

    LoadPortName();
    if (cmdInfo.portGiven)
        g_strPortName = cmdInfo.portName;
    return true;
}

bool CZq6App::OnCmdMsg(int id)
{
    switch (id) {
    // The document's commands.
    case ID_TOOLS_READEVENTS:
        OnToolsReadEvents();
        return true;
    case ID_TOOLS_OPTION:
        OnToolsOption();
        return true;
    case ID_FILE_SAVE_AS:
        OnFileSaveAs();
        return true;
    case ID_FILE_SAVE:
        OnFileSave();
        return true;
    // The application's.
    case ID_APP_ABOUT:
        OnAppAbout();
        return true;
    case ID_FILE_OPEN:
        OnFileOpen();
        return true;
    case ID_FILE_OPEN_SERVER:
        OnFileOpenServer();
        return true;
    case ID_TOOLS_USERS:
        OnToolsUsers();
        return true;
    case ID_FILE_EXPORT:
        OnFileExport();
        return true;
    case ID_VIEW_REFRESH:
        OnViewRefresh();
        return true;
    case ID_VIEW_GOTO_DATE:
        OnViewGotoDate();
        return true;
    case ID_EDIT_FIND:
        OnEditFind();
        return true;
    case ID_EDIT_REPEAT:
    case ID_EDIT_FIND_PREVIOUS:
        OnEditFindAgain(id == ID_EDIT_REPEAT);
        return true;
    case ID_VIEW_FILTER:
        OnViewFilter();
        return true;
    case ID_VIEW_CLEAR_FILTER:
        OnViewClearFilter();
        return true;
    case ID_VIEW_REPORT:
        OnViewReport();
        return true;
    case ID_EDIT_COPY:
        if (m_pView)
            m_pView->CopySelection();
        return true;
    case ID_FILE_MRU_FILE1:
    case ID_FILE_MRU_FILE2:
    case ID_FILE_MRU_FILE3:
    case ID_FILE_MRU_FILE4:
        OnOpenRecentFile(id);
        return true;
    case ID_APP_EXIT:
        OnAppExit();
        return true;
    default:
        return false;
    }
}

void CZq6App::OnFileNew()
{
    if (!m_pDoc->OnNewDocument())
        return;
    UpdateFrameTitle();
    if (m_pView)
        m_pView->OnInitialUpdate();
}

void CZq6App::OnFileOpen()
{
    const QString path = m_pUi->GetOpenFileName(m_pMainWnd.get(), DialogFolder());
    if (!path.isEmpty())
        OpenDocumentFile(path);
}

bool CZq6App::OpenDocumentFile(const QString& path)
{
    return OpenLocation(Location::Parse(path));
}

bool CZq6App::OpenLocation(Location location)
{
    // An Access database is offered for conversion instead; after No
    // everything stays as it was.
    if (location.IsFile() && CheckDbFile(location).kind == DbFileKind::Access) {
        const AccessConversion done =
            ConvertAccessDatabase(m_pMainWnd.get(), *m_pUi, m_pMessages, location.Path());
        if (done.outcome != AccessConversion::Converted)
            return done.outcome == AccessConversion::Declined;
        return OpenDocumentFile(done.path);
    }
    // At most a few tries; after the last the document tells what the server said.
    for (int tries = 0; location.IsServer() && tries < 3; ++tries) {
        try {
            CDatabase probe;
            probe.Open(location);
            break;
        } catch (const CDBException& e) {
            if (!IsPasswordFailure(e.m_strError))
                break; // the document tells why
            // A password was given (in the address, remembered or typed) and
            // the server did not take it: the prompt says so at once.
            const bool refused = tries > 0 || !location.Password().isEmpty();
            CPasswordDialog dlg(m_pMainWnd.get(), location.Shown(), location.User(), refused);
            if (m_pUi->DoModal(dlg) != QDialog::Accepted)
                return false;
            location.SetPassword(dlg.m_strPassword);
        }
    }
    if (location.IsServer() && OfferServerTables(location)) {
        // The document has told how that went.
        if (!m_pDoc->OnSaveDocument(location))
            return false;
    } else if (!m_pDoc->OnOpenDocument(location)) {
        return false;
    }
    AdoptLocation(location);
    return true;
}

bool CZq6App::OfferServerTables(const Location& location)
{
    try {
        if (!IsEmptyServerDatabase(location))
            return false;
    } catch (const CDBException&) {
        return false; // opening it tells why
    }
    QMessageBox ask(QMessageBox::Question, QStringLiteral("ZQreader"),
                    QStringLiteral("The database \"%1\" holds no tables yet.\n\nCreate the "
                                   "tables of an empty ZQreader database in it?")
                        .arg(location.Shown()),
                    QMessageBox::Yes | QMessageBox::No, m_pMainWnd.get());
    ask.setDefaultButton(QMessageBox::Yes);
    return m_pUi->DoModal(ask) == QMessageBox::Yes;
}

void CZq6App::OnFileOpenServer()
{
    CServerDialog dlg(m_pMainWnd.get());
    const Location current = m_pDoc->GetLocation();
    if (current.IsServer()) {
        dlg.m_strHost = current.Host();
        dlg.m_nPort = current.Port() > 0 ? current.Port() : dlg.m_nPort;
        dlg.m_strDatabase = current.Database();
        dlg.m_strUser = current.User();
    }
    if (m_pUi->DoModal(dlg) != QDialog::Accepted)
        return;
    OpenLocation(Location::ForServer(dlg.m_strHost, dlg.m_nPort, dlg.m_strDatabase, dlg.m_strUser));
}

void CZq6App::OnViewRefresh()
{
    // While the server is away the list keeps its rows: Refresh tries at once.
    if (IsReconnecting()) {
        TryReconnect();
        return;
    }
    m_pDoc->UpdateAllViews();
}

bool CZq6App::IsReconnecting() const
{
    return m_reconnectDelayMs > 0;
}

void CZq6App::OnServerLost()
{
    if (IsReconnecting() || !m_pDoc->m_bDbOpen || !g_dbLocation.IsServer())
        return;
    if (m_pWatch)
        m_pWatch->Stop();
    if (m_pView)
        m_pView->SetServerAway(true);
    m_reconnectDelayMs = kFirstReconnectMs;
    if (m_pMainWnd && m_pMainWnd->GetStatusBar())
        m_pMainWnd->GetStatusBar()->showMessage(ServerAwayText());
    m_pReconnect->start(m_reconnectDelayMs);
}

void CZq6App::TryReconnect()
{
    if (!IsReconnecting())
        return;
    m_pReconnect->stop();
    if (!m_pDoc->Reconnect()) {
        m_reconnectDelayMs = std::min(2 * m_reconnectDelayMs, kLongestReconnectMs);
        // Said again: a menu's hint may have taken the place of the word.
        if (m_pMainWnd && m_pMainWnd->GetStatusBar())
            m_pMainWnd->GetStatusBar()->showMessage(ServerAwayText());
        m_pReconnect->start(m_reconnectDelayMs);
        return;
    }
    StopReconnecting();
    // Listened for first: a download stored while the list is read is told too.
    if (m_pWatch)
        m_pWatch->Watch(g_db);
    if (m_pView)
        m_pView->SetServerAway(false);
}

void CZq6App::StopReconnecting()
{
    m_reconnectDelayMs = 0;
    if (m_pReconnect)
        m_pReconnect->stop();
    QStatusBar* bar = m_pMainWnd ? m_pMainWnd->GetStatusBar() : nullptr;
    if (bar && bar->currentMessage() == ServerAwayText())
        bar->clearMessage();
}

bool CZq6App::OnOpenRecentFile(int id)
{
    const int index = id - ID_FILE_MRU_FILE1;
    const QStringList files = m_recentFiles.Files();
    if (index < 0 || index >= files.size())
        return false;
    if (OpenDocumentFile(files.at(index)))
        return true;
    // The document has told why; an entry that cannot be opened goes.
    m_recentFiles.Remove(index);
    m_recentFiles.WriteList();
    UpdateRecentFiles();
    return false;
}

void CZq6App::OnAppAbout()
{
    CAboutDlg dlg(m_pMainWnd.get());
    m_pUi->DoModal(dlg);
}

void CZq6App::OnAppExit()
{
    if (m_pMainWnd)
        m_pMainWnd->close();
}

void CZq6App::OnFileSaveAs()
{
    const QString path = m_pUi->GetSaveFileName(m_pMainWnd.get(), DialogFolder());
    if (path.isEmpty())
        return;
    const Location target = Location::FromFile(path);
    // Nothing was made (the document has told why): the document keeps its name.
    if (!m_pDoc->OnSaveDocument(target))
        return;
    AdoptLocation(target);
}

void CZq6App::OnFileSave()
{
    // Never writes the template over the open database: always asks for a new one.
    OnFileSaveAs();
}

void CZq6App::OnToolsOption()
{
    CZq6OptionDialog dlg(m_pMainWnd.get(), m_pPorts);
    dlg.m_strPortName = g_strPortName;
    // Cancel keeps both the port in use and the stored one: a port given on
    // the command line is for the run only and must not reach the settings.
    if (m_pUi->DoModal(dlg) != QDialog::Accepted)
        return;
    g_strPortName = dlg.m_strPortName;
    StorePortName();
}

void CZq6App::OnToolsReadEvents()
{
    const PortName port = CurrentPort();
    const std::unique_ptr<SerialLink> link = MakePortLink(port);
    SystemClock clock;
    CZQ6DialogProgress progress(m_pView);
    CGuiDownloadServices services(*link, clock, &progress, port);
    ReadEvents(*m_pDoc, services);
}

void CZq6App::AdoptLocation(const Location& location)
{
    m_pDoc->SetLocation(location);
    m_recentFiles.Add(location);
    m_recentFiles.WriteList();
    UpdateRecentFiles();
    UpdateFrameTitle();
    StopReconnecting();
    // Watched first: a commit made while the list is being read is told too.
    if (m_pWatch)
        m_pWatch->Watch(g_db);
    if (m_pView)
        m_pView->OnInitialUpdate();
}

void CZq6App::UpdateFrameTitle()
{
    if (m_pMainWnd)
        m_pMainWnd->OnUpdateFrameTitle(m_pDoc->GetTitle());
}

void CZq6App::UpdateRecentFiles()
{
    if (m_pMainWnd)
        m_pMainWnd->SetRecentFiles(m_recentFiles.Files());
}

QString CZq6App::DialogFolder() const
{
    const Location& named = m_pDoc->GetLocation();
    const Location& current = named.GetKind() == Location::Kind::None ? g_dbLocation : named;
    return current.IsFile() ? QFileInfo(current.Path()).absolutePath() : QDir::currentPath();
}

void CZq6App::OnToolsUsers()
{
    if (!m_pDoc->m_bDbOpen) {
        m_pDoc->Report(QStringLiteral("The database is not opened !"), QStringLiteral("Error"));
        return;
    }
    CUsersDialog dlg(&g_db, m_pUi, m_pMessages, m_pMainWnd.get());
    if (dlg.Load() && m_pUi->DoModal(dlg) == QDialog::Accepted && dlg.Stored())
        m_pDoc->UpdateAllViews();
}

void CZq6App::OnFileExport()
{
    if (!m_pDoc->m_bDbOpen) {
        m_pDoc->Report(QStringLiteral("The database is not opened !"), QStringLiteral("Error"));
        return;
    }
    const QFileInfo db(g_db.GetPath());
    CExportDialog dlg(db.fileName().isEmpty() ? QString()
                                              : db.absolutePath() + QLatin1Char('/') +
                                                    db.completeBaseName() + QStringLiteral(".csv"),
                      m_pMainWnd.get(), g_pSet ? g_pSet->GetFilter() : EventFilter(), m_pUi);
    if (m_pUi->DoModal(dlg) == QDialog::Accepted)
        ExportWithProgress(m_pMainWnd.get(), g_db, dlg.Path(), dlg.Filter(), dlg.Text(),
                           m_pMessages);
}

void CZq6App::OnViewFilter()
{
    if (!m_pDoc->m_bDbOpen || !g_pSet || !m_pView) {
        m_pDoc->Report(QStringLiteral("The database is not opened !"), QStringLiteral("Error"));
        return;
    }
    CFilterDialog dlg(g_pSet->GetFilter(), m_pMainWnd.get());
    if (m_pUi->DoModal(dlg) == QDialog::Accepted)
        m_pView->ApplyFilter(dlg.Filter());
}

void CZq6App::OnViewClearFilter()
{
    if (!g_pSet || !g_pSet->IsFiltered() || !m_pView)
        return;
    // The user keeps their place: the marked row, else the row on the top line.
    std::optional<JoinMark> place;
    bool marked = false;
    try {
        place = m_pView->MarkedRowInView();
        marked = place.has_value();
        if (!place)
            place = m_pView->TopRow();
    } catch (const CDBException&) {
        // Shown from the top, as after any filter.
    }
    m_pView->ApplyFilter({});
    if (!place)
        return;
    try {
        if (marked)
            m_pView->ShowRow(*place);
        else
            m_pView->ScrollToRow(*place);
    } catch (const CDBException& e) {
        m_pDoc->Report(g_db.ReadFailedMessage(e.m_strError), QStringLiteral("Error"));
    }
}

void CZq6App::ConnectView()
{
    CZq6View* view = m_pView;
    CMainFrame* frame = m_pMainWnd.get();
    QObject::connect(view, &CZq6View::CountChanged, frame,
                     [frame, view] { frame->SetListCount(view->CountText()); });
    QObject::connect(view, &CZq6View::StatusMessage, frame, [frame](const QString& text) {
        if (frame->GetStatusBar())
            frame->GetStatusBar()->showMessage(text, 8000);
    });
    QObject::connect(view, &CZq6View::ConnectionLost, frame, [this] { OnServerLost(); });
    QObject::connect(view, &CZq6View::FilterByUserRequested, frame, [this](qint32 userNo) {
        // The user number of the row; the rest of the filter stays.
        EventFilter filter = g_pSet ? g_pSet->GetFilter() : EventFilter();
        filter.userNos = {userNo};
        filter.name.clear();
        m_pView->ApplyFilter(filter);
    });
    QObject::connect(view, &CZq6View::FindUserRequested, frame, [this](qint32 userNo) {
        ListFind find;
        find.byNumber = true;
        find.userNo = userNo;
        m_lastFind = find;
        OnEditFindAgain(true);
    });
}

void CZq6App::OnViewReport()
{
    if (!m_pDoc->m_bDbOpen) {
        m_pDoc->Report(QStringLiteral("The database is not opened !"), QStringLiteral("Error"));
        return;
    }
    // The rows the list shows are the ones counted.
    OpenReportWindow(g_db, g_pSet ? g_pSet->GetFilter() : EventFilter(), m_pMessages,
                     m_pMainWnd.get());
}
