#pragma once

#include "app/cmdtarget.h"
#include "app/commandline.h"
#include "app/dialogs/shellui.h"
#include "app/dialogs/zq6optiondialog.h"
#include "app/recentfiles.h"
#include "db/listseek.h"

#include <memory>
#include <optional>

class ChangeWatch;
class CMainFrame;
class QTimer;
class Location;
class CZq6Doc;
class CZq6View;
class MessageSink;

// The application: start-up, the single-document shell around the one
// document, the one main window and the one view, and the commands of the
// application and the document.
class CZq6App : public CCmdTarget
{
public:
    // messages: where the document's and the shell's messages go.
    // ui, ports: the modal dialogs and the port list; the real ones when null.
    explicit CZq6App(MessageSink* messages, ShellUi* ui = nullptr,
                     const PortLister* ports = nullptr);
    ~CZq6App() override;
    CZq6App(const CZq6App&) = delete;
    CZq6App& operator=(const CZq6App&) = delete;

    // Start-up. False when the program is to end at once (the main window
    // cannot be made, or the database on the command line cannot be opened).
    bool InitInstance(const CommandLineInfo& cmdInfo);

    bool OnCmdMsg(int id) override;

    // Application commands.
    void OnFileNew();
    void OnFileOpen();
    // File > Open Server Database: asks where, then opens it.
    void OnFileOpenServer();
    void OnAppAbout();
    void OnAppExit();
    bool OnOpenRecentFile(int id);
    // Where a name enters (the open dialog, a recent file, the command line):
    // parses it once and opens it as OpenLocation does.
    bool OpenDocumentFile(const QString& path);
    // Opens a file or a server database; asks for a password when the server
    // wants one that was not given. An Access file is offered for conversion.
    bool OpenLocation(Location location);

    // Document commands.
    void OnFileSaveAs();
    void OnFileSave();
    void OnToolsOption();
    void OnToolsReadEvents();
    // View > Refresh: reads the list again, for changes made by other tools.
    void OnViewRefresh();
    // Tools > Users: the users' periods, all changes written at once on OK.
    void OnToolsUsers();
    // File > Export: the list as a CSV file.
    void OnFileExport();
    // View > Filter: which events the list shows; View > Clear Filter: all.
    void OnViewFilter();
    void OnViewClearFilter();

    // View > Go to Date (zq6seek.cpp): the list shows the first event at or
    // after a moment.
    void OnViewGotoDate();
    // View > Find, Find Next and Find Previous: a user name or number from
    // the marked row, or the top line, on; round the end with a word in the
    // status bar.
    void OnEditFind();
    void OnEditFindAgain(bool forward);

    // View > Report: the events counted by period and user, in a window of its own.
    void OnViewReport();

    // What the status bar says while the server of the open database is away.
    static QString ServerAwayText()
    {
        return QStringLiteral("The database server is not answering; trying again...");
    }
    // Whether the connection to the server is being made anew.
    bool IsReconnecting() const;

    CZq6Doc* GetDocument() const { return m_pDoc.get(); }
    CMainFrame* GetMainWnd() const { return m_pMainWnd.get(); }
    CZq6View* GetView() const { return m_pView; }
    QStringList GetRecentFiles() const { return m_recentFiles.Files(); }

private:
    // The list's counts in the status bar, its requests to the commands.
    void ConnectView();
    // The document now stands for path: title, recent files, list.
    void AdoptLocation(const Location& location);
    void UpdateFrameTitle();
    // Asks whether to create the tables in a server database that has none.
    bool OfferServerTables(const Location& location);
    void UpdateRecentFiles();
    QString DialogFolder() const;
    // The connection to the server of the open database broke: the list
    // keeps its rows, and connecting again is tried after 1 s, then after
    // twice as long each time, 30 s at most, until it works (or another
    // database is opened).
    void OnServerLost();
    void TryReconnect();
    void StopReconnecting();

    MessageSink* m_pMessages;
    ShellUi m_defaultUi;
    ShellUi* m_pUi;
    const PortLister* m_pPorts;
    CRecentFileList m_recentFiles;
    std::unique_ptr<CZq6Doc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    CZq6View* m_pView = nullptr;           // a child of the main window
    std::unique_ptr<ChangeWatch> m_pWatch; // downloads stored by other programs
    std::unique_ptr<QTimer> m_pReconnect;  // the next try while the server is away
    int m_reconnectDelayMs = 0;            // before the next try; 0 while connected
    QString m_lastMoment;                  // for the next Go to Date
    std::optional<ListFind> m_lastFind;    // for Find Next and Find Previous
};
