#pragma once

#include "app/cmdtarget.h"
#include "app/lockkeys.h"

#include <QMainWindow>
#include <QPointer>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;

// The main window: menu, toolbar, accelerators, status bar; the event list in
// between. Commands go first to the frame (help, toolbar and status bar
// commands), then to the next target, the application with its document.
class CMainFrame : public QMainWindow, public CCmdTarget
{
    Q_OBJECT

public:
    explicit CMainFrame(CCmdTarget* pNext = nullptr);
    ~CMainFrame() override;

    // Builds the menu, the toolbar, the status bar and the accelerators.
    bool OnCreate();

    // Runs the command id through the route; false when nobody handles it.
    bool OnCmdMsg(int id) override;
    void SetNextTarget(CCmdTarget* pNext) { m_pNext = pNext; }

    void SetView(QWidget* pView);
    // "<document title> - ZQreader"
    void OnUpdateFrameTitle(const QString& docTitle);
    // The recent-file entries of the File menu, most recent first.
    void SetRecentFiles(const QStringList& paths);

    // The pane that tells how many events the list holds, and its filter.
    void SetListCount(const QString& text);
    QLabel* GetCountPane() const { return m_pCountPane; }

    // Shows the lock-key panes for this state; blank when it is not known.
    void SetLockKeyState(const std::optional<LockKeyState>& state);

    QToolBar* GetToolBar() const { return m_wndToolBar; }
    QStatusBar* GetStatusBar() const { return m_wndStatusBar; }
    QLabel* GetMessagePane() const { return m_pMessagePane; }
    QLabel* GetIndicatorPane(int id) const;
    // The text the message pane shows now.
    QString GetMessageText() const;
    QWidget* GetHelpWindow() const { return m_pHelpWindow; }
    QMenu* GetFileMenu() const { return m_pFileMenu; }
    QList<QAction*> GetAccelerators() const { return m_accelerators; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* MakeCommand(int id, const QString& text, QObject* parent);
    void CreateMenu();
    bool CreateToolBar();
    bool CreateStatusBar();
    void CreateAccelerators();
    void ShowHelp();
    void EnterHelpMode();
    void ToggleBar(QWidget* bar);
    void PollLockKeys();

    CCmdTarget* m_pNext;
    QStatusBar* m_wndStatusBar = nullptr;
    QToolBar* m_wndToolBar = nullptr;
    QLabel* m_pMessagePane = nullptr;
    QLabel* m_pCountPane = nullptr;
    QLabel* m_pIndicators[3] = {nullptr, nullptr, nullptr};
    QMenu* m_pFileMenu = nullptr;
    QAction* m_pRecentEnd = nullptr; // the separator after the recent files
    QList<QAction*> m_recentActions;
    QAction* m_pViewToolBar = nullptr;
    QAction* m_pViewStatusBar = nullptr;
    QList<QAction*> m_accelerators;
    QPointer<QWidget> m_pHelpWindow;
    QTimer* m_pLockTimer = nullptr;
};
