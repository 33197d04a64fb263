#include "app/desktopapp.h"

#include "app/dialogs/aboutdialog.h"
#include "app/dialogs/accessimport.h"
#include "app/dialogs/optionsdialog.h"
#include "app/dialogs/progressdialog.h"
#include "app/dialogs/serverdialog.h"
#include "app/dialogs/windoweddownload.h"
#include "app/mainwindow.h"
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
#include "link/portname.h"
#include "link/portsetting.h"
#include "view/eventlistview.h"

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

DesktopApp::DesktopApp(MessageSink* messages, ShellUi* ui, const PortLister* ports)
    : m_messages(messages), m_ui(ui ? ui : &m_defaultUi), m_ports(ports)
{
}

DesktopApp::~DesktopApp()
{
    // The window and its view go before the document they show.
    m_reconnectTimer.reset();
    m_watch.reset();
    m_window.reset();
    m_view = nullptr;
    m_document.reset();
}

bool DesktopApp::Start(const CommandLineInfo& commandLine)
{
    // The settings store: the port name and the recent-file list.
    QCoreApplication::setOrganizationName(QStringLiteral("Korvo"));
    QCoreApplication::setApplicationName(QStringLiteral("Zq6"));
    m_recentFiles.ReadList();

    // The document, its window and its list.
    m_document = std::make_unique<CZq6Doc>(m_messages);
    m_window = std::make_unique<MainWindow>(this);
    m_view = new EventListView(m_document.get(), m_window.get());
    m_window->setCentralWidget(m_view);
    ConnectView();
    m_window->resize(760, 520);
    // What another program stores shows without a refresh, as our own does.
    m_watch = std::make_unique<ChangeWatch>();
    connect(m_watch.get(), &ChangeWatch::Changed, m_window.get(),
            [this] { m_document->UpdateAllViews(); });
    connect(m_watch.get(), &ChangeWatch::Lost, m_window.get(), [this] { OnServerLost(); });
    m_reconnectTimer = std::make_unique<QTimer>();
    m_reconnectTimer->setSingleShot(true);
    connect(m_reconnectTimer.get(), &QTimer::timeout, m_window.get(), [this] { TryReconnect(); });
    UpdateRecentFiles();

    if (commandLine.dbPath.isEmpty())
        StartUntitled();
    else if (!OpenDocumentFile(commandLine.dbPath))
        return false;

    m_window->show();

    m_port = commandLine.port ? *commandLine.port : StoredPort();
    return true;
}

QString DesktopApp::ServerAwayText()
{
    return tr("The database server is not answering; trying again...");
}

void DesktopApp::StartUntitled()
{
    if (!m_document->OnNewDocument())
        return;
    UpdateWindowTitle();
    m_view->ShowFromStart();
}

void DesktopApp::OpenDatabase()
{
    const QString path = m_ui->GetOpenFileName(m_window.get(), DialogFolder());
    if (!path.isEmpty())
        OpenDocumentFile(path);
}

bool DesktopApp::OpenDocumentFile(const QString& path)
{
    return OpenLocation(Location::Parse(path));
}

bool DesktopApp::OpenLocation(Location location)
{
    // An Access database is offered for conversion instead; after No
    // everything stays as it was.
    if (location.IsFile() && CheckDbFile(location).kind == DbFileKind::Access) {
        const AccessConversion done =
            ConvertAccessDatabase(m_window.get(), *m_ui, m_messages, location.Path());
        if (done.outcome != AccessConversion::Converted)
            return done.outcome == AccessConversion::Declined;
        return OpenDocumentFile(done.path);
    }
    if (location.IsServer() && !AskServerPassword(location))
        return false;
    if (location.IsServer() && OfferServerTables(location)) {
        // The document has told how that went.
        if (!m_document->OnSaveDocument(location))
            return false;
    } else if (!m_document->OnOpenDocument(location)) {
        return false;
    }
    AdoptLocation(location);
    return true;
}

bool DesktopApp::AskServerPassword(Location& location)
{
    // At most a few tries; after the last the document tells what the server said.
    for (int tries = 0; tries < 3; ++tries) {
        try {
            CDatabase probe;
            probe.Open(location);
            return true;
        } catch (const CDBException& e) {
            if (e.Kind() != DbFailure::PasswordNeeded && e.Kind() != DbFailure::PasswordRefused)
                return true; // the document tells why
            // A password was given (in the address, remembered, typed or
            // found by the client library) and the server did not take it:
            // the prompt says so at once.
            const bool refused = e.Kind() == DbFailure::PasswordRefused;
            PasswordDialog dialog(m_window.get(), location.Shown(), location.User(), refused);
            if (m_ui->Exec(dialog) != QDialog::Accepted)
                return false;
            location.SetPassword(dialog.Password());
        }
    }
    return true;
}

bool DesktopApp::OfferServerTables(const Location& location)
{
    try {
        if (!IsEmptyServerDatabase(location))
            return false;
    } catch (const CDBException&) {
        return false; // opening it tells why
    }
    QMessageBox ask(QMessageBox::Question, tr("ZQreader"),
                    tr("The database \"%1\" holds no tables yet.\n\nCreate the tables of an "
                       "empty ZQreader database in it?")
                        .arg(location.Shown()),
                    QMessageBox::Yes | QMessageBox::No, m_window.get());
    ask.setDefaultButton(QMessageBox::Yes);
    return m_ui->Exec(ask) == QMessageBox::Yes;
}

void DesktopApp::OpenServerDatabase()
{
    ServerDialog dialog(m_window.get());
    if (m_document->GetLocation().IsServer())
        dialog.SetLocation(m_document->GetLocation());
    if (m_ui->Exec(dialog) == QDialog::Accepted)
        OpenLocation(dialog.ServerLocation());
}

void DesktopApp::Refresh()
{
    // While the server is away the list keeps its rows: Refresh tries at once.
    if (IsReconnecting()) {
        TryReconnect();
        return;
    }
    m_document->UpdateAllViews();
}

bool DesktopApp::IsReconnecting() const
{
    return m_reconnectDelayMs > 0;
}

void DesktopApp::OnServerLost()
{
    if (IsReconnecting() || !m_document->m_bDbOpen || !g_dbLocation.IsServer())
        return;
    if (m_watch)
        m_watch->Stop();
    m_view->SetServerAway(true);
    m_reconnectDelayMs = kFirstReconnectMs;
    m_window->statusBar()->showMessage(ServerAwayText());
    m_reconnectTimer->start(m_reconnectDelayMs);
}

void DesktopApp::TryReconnect()
{
    if (!IsReconnecting())
        return;
    m_reconnectTimer->stop();
    if (!m_document->Reconnect()) {
        m_reconnectDelayMs = std::min(2 * m_reconnectDelayMs, kLongestReconnectMs);
        // Said again: a menu's hint may have taken the place of the word.
        m_window->statusBar()->showMessage(ServerAwayText());
        m_reconnectTimer->start(m_reconnectDelayMs);
        return;
    }
    StopReconnecting();
    // Listened for first: a download stored while the list is read is told too.
    if (m_watch)
        m_watch->Watch(g_db);
    m_view->SetServerAway(false);
}

void DesktopApp::StopReconnecting()
{
    m_reconnectDelayMs = 0;
    if (m_reconnectTimer)
        m_reconnectTimer->stop();
    QStatusBar* bar = m_window->statusBar();
    if (bar->currentMessage() == ServerAwayText())
        bar->clearMessage();
}

void DesktopApp::OpenRecentFile(int index)
{
    const QStringList files = m_recentFiles.Files();
    if (index < 0 || index >= files.size() || OpenDocumentFile(files.at(index)))
        return;
    // The document has told why; an entry that cannot be opened goes.
    m_recentFiles.Remove(index);
    m_recentFiles.WriteList();
    UpdateRecentFiles();
}

void DesktopApp::About()
{
    AboutDialog dialog(m_window.get());
    m_ui->Exec(dialog);
}

void DesktopApp::Quit()
{
    m_window->close();
}

void DesktopApp::NewDatabase()
{
    const QString path = m_ui->GetSaveFileName(m_window.get(), DialogFolder());
    if (path.isEmpty())
        return;
    const Location target = Location::FromFile(path);
    // Nothing was made (the document has told why): the document keeps its name.
    if (!m_document->OnSaveDocument(target))
        return;
    AdoptLocation(target);
}

void DesktopApp::ChoosePort()
{
    OptionsDialog dialog(m_window.get(), m_ports);
    dialog.SetPort(m_port);
    // Cancel keeps both the port in use and the stored one: a port given on
    // the command line is for the run only and must not reach the settings.
    if (m_ui->Exec(dialog) != QDialog::Accepted)
        return;
    m_port = dialog.Port();
    StorePort(m_port);
}

void DesktopApp::ReadEvents()
{
    const PortName port = m_port;
    const std::unique_ptr<SerialLink> link = MakePortLink(port);
    SystemClock clock;
    WindowedDownloadProgress progress(m_view);
    WindowedDownloadServices services(*link, clock, &progress, port);
    ::ReadEvents(*m_document, services);
}

void DesktopApp::AdoptLocation(const Location& location)
{
    m_document->SetLocation(location);
    m_recentFiles.Add(location);
    m_recentFiles.WriteList();
    UpdateRecentFiles();
    UpdateWindowTitle();
    StopReconnecting();
    // Watched first: a commit made while the list is being read is told too.
    if (m_watch)
        m_watch->Watch(g_db);
    m_view->ShowFromStart();
}

void DesktopApp::UpdateWindowTitle()
{
    m_window->SetDocumentTitle(m_document->GetTitle());
}

void DesktopApp::UpdateRecentFiles()
{
    m_window->SetRecentFiles(m_recentFiles.Files());
}

QString DesktopApp::DialogFolder() const
{
    const Location& named = m_document->GetLocation();
    const Location& current = named.GetKind() == Location::Kind::None ? g_dbLocation : named;
    return current.IsFile() ? QFileInfo(current.Path()).absolutePath() : QDir::currentPath();
}

bool DesktopApp::RequireOpenDatabase() const
{
    if (!m_document->m_bDbOpen)
        m_document->Report(tr("The database is not opened !"), UserMessage::Kind::Error);
    return m_document->m_bDbOpen;
}

void DesktopApp::ConnectView()
{
    EventListView* view = m_view;
    MainWindow* window = m_window.get();
    connect(view, &EventListView::CountChanged, window,
            [window, view] { window->SetListCount(view->CountText()); });
    connect(view, &EventListView::StatusMessage, window,
            [window](const QString& text) { window->statusBar()->showMessage(text, 8000); });
    connect(view, &EventListView::ConnectionLost, window, [this] { OnServerLost(); });
    connect(view, &EventListView::FilterByUserRequested, window, [this](qint32 userNo) {
        // The user number of the row; the rest of the filter stays.
        EventFilter filter = g_pSet ? g_pSet->GetFilter() : EventFilter();
        filter.userNos = {userNo};
        filter.name.clear();
        m_view->ApplyFilter(filter);
    });
    connect(view, &EventListView::FindUserRequested, window, [this](qint32 userNo) {
        ListFind find;
        find.byNumber = true;
        find.userNo = userNo;
        m_lastFind = find;
        FindNext();
    });
}

void DesktopApp::CopySelection()
{
    m_view->CopySelection();
}
