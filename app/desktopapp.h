#pragma once

#include "app/commandline.h"
#include "app/dialogs/shellui.h"
#include "app/recentfiles.h"
#include "db/listseek.h"

#include <QObject>
#include <memory>
#include <optional>

class ChangeWatch;
class CZq6Doc;
class EventListView;
class Location;
class MainWindow;
class MessageSink;
class PortLister;
class QTimer;

// The desktop program: start-up, the one document (the open database), the
// main window with the event list in it, and the commands of the menus as
// slots, which the main window's actions are connected to.
class DesktopApp : public QObject
{
    Q_OBJECT

public:
    // messages: where the document's and the shell's messages go.
    // ui, ports: the modal dialogs and the port list; the real ones when null.
    explicit DesktopApp(MessageSink* messages, ShellUi* ui = nullptr,
                        const PortLister* ports = nullptr);
    ~DesktopApp() override;
    DesktopApp(const DesktopApp&) = delete;
    DesktopApp& operator=(const DesktopApp&) = delete;

    // Makes the window and shows it. False when the program is to end at
    // once (the database on the command line cannot be opened).
    bool Start(const CommandLineInfo& commandLine);

    // Where a name enters (the open dialog, a recent file, the command line):
    // parses it once and opens it as OpenLocation does.
    bool OpenDocumentFile(const QString& path);
    // Opens a file or a server database; asks for a password when the server
    // wants one that was not given. An Access file is offered for conversion.
    bool OpenLocation(Location location);

    // What the status bar says while the server of the open database is away.
    static QString ServerAwayText();
    // Whether the connection to the server is being made anew.
    bool IsReconnecting() const;

    CZq6Doc* Document() const { return m_document.get(); }
    MainWindow* Window() const { return m_window.get(); }
    EventListView* ListView() const { return m_view; }
    QStringList RecentFiles() const { return m_recentFiles.Files(); }
    // The port Read events uses: the stored one, or the one given for this
    // run on the command line, until Options picks another.
    const PortName& PortInUse() const { return m_port; }

public Q_SLOTS:
    // File > New Database: asks where, creates it from the template and
    // opens it; never writes over the open database in place.
    void NewDatabase();
    void OpenDatabase();
    // File > Open Server Database: asks where, then opens it.
    void OpenServerDatabase();
    // The recent-file entry at index; an entry that cannot be opened leaves
    // the list.
    void OpenRecentFile(int index);
    // File > Export: the list as a CSV file.
    void ExportEvents();
    void Quit();

    // Tools > Option: the port of the receiver, kept for the next start.
    void ChoosePort();
    void ReadEvents();
    // Tools > Users: the users' periods, all changes written at once on OK.
    void EditUsers();

    // View > Refresh: reads the list again, for changes made by other tools.
    void Refresh();
    // View > Go to Date (listcommands.cpp): the list shows the first event
    // at or after a moment.
    void GoToDate();
    // View > Find, Find Next and Find Previous: a user name or number from
    // the marked row, or the top line, on; round the end with a word in the
    // status bar.
    void Find();
    void FindNext();
    void FindPrevious();
    // View > Filter: which events the list shows; View > Clear Filter: all.
    void FilterList();
    void ClearFilter();
    // View > Report: the events counted by period and user, in a window of
    // its own.
    void ShowReport();
    // Ctrl+C: the selected rows of the list.
    void CopySelection();

    void About();

private:
    // An untitled document at start, with no database.
    void StartUntitled();
    // The list's counts in the status bar, its requests to the commands.
    void ConnectView();
    // Tells that a command needs an open database; whether one is open.
    bool RequireOpenDatabase() const;
    void FindAgain(bool forward);
    // The document now stands for location: title, recent files, list.
    void AdoptLocation(const Location& location);
    void UpdateWindowTitle();
    // Asks whether to create the tables in a server database that has none.
    bool OfferServerTables(const Location& location);
    // Asks for the server's password until it takes one (a few tries); false
    // when the user gave up.
    bool AskServerPassword(Location& location);
    void UpdateRecentFiles();
    QString DialogFolder() const;
    // The connection to the server of the open database broke: the list
    // keeps its rows, and connecting again is tried after 1 s, then after
    // twice as long each time, 30 s at most, until it works (or another
    // database is opened).
    void OnServerLost();
    void TryReconnect();
    void StopReconnecting();

    MessageSink* m_messages;
    ShellUi m_defaultUi;
    ShellUi* m_ui;
    const PortLister* m_ports;
    RecentFileList m_recentFiles;
    PortName m_port;
    std::unique_ptr<CZq6Doc> m_document;
    std::unique_ptr<MainWindow> m_window;
    EventListView* m_view = nullptr;          // a child of the main window
    std::unique_ptr<ChangeWatch> m_watch;     // downloads stored by other programs
    std::unique_ptr<QTimer> m_reconnectTimer; // the next try while the server is away
    int m_reconnectDelayMs = 0;               // before the next try; 0 while connected
    QString m_lastMoment;                     // for the next Go to Date
    std::optional<ListFind> m_lastFind;       // for Find Next and Find Previous
};
