#pragma once

#include "app/lockkeys.h"

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <optional>

class DesktopApp;
class QAction;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;

// The main window: menus, toolbar and status bar around the event list. Its
// actions (named objects: "newDatabase", "readEvents", ...) carry their
// texts, keys, status tips and tooltips and are connected to the
// application's slots; help, What's This and the bars are the window's own.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    enum class LockKey
    {
        Caps,
        Num,
        Scroll
    };

    explicit MainWindow(DesktopApp* app);
    ~MainWindow() override;

    // "<document title> - ZQreader"
    void SetDocumentTitle(const QString& title);
    // The recent-file entries of the File menu, most recent first.
    void SetRecentFiles(const QStringList& paths);
    // The pane that tells how many events the list holds, and its filter.
    void SetListCount(const QString& text);
    // Shows the lock-key panes for this state; blank when it is not known.
    void SetLockKeyState(const std::optional<LockKeyState>& state);

    QToolBar* ToolBar() const { return m_toolBar; }
    QLabel* MessagePane() const { return m_messagePane; }
    QLabel* CountPane() const { return m_countPane; }
    QLabel* LockKeyPane(LockKey key) const;
    // The text the message pane shows now.
    QString MessageText() const;
    QWidget* HelpWindow() const { return m_helpWindow; }
    QMenu* FileMenu() const { return m_fileMenu; }

public Q_SLOTS:
    // Help > Help Topics, F1.
    void ShowHelp();
    // Shift+F1: a click on a part of the window tells what it is.
    void EnterWhatsThisMode();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // An action of the window, for a menu or a key; a tooltip only where
    // its toolbar button or the status bar's hint has one of its own.
    QAction* MakeAction(const char* name, const QString& text, const QString& statusTip,
                        const QString& toolTip = {}, const QList<QKeySequence>& keys = {});
    void CreateFileMenu(DesktopApp* app);
    void CreateToolsMenu(DesktopApp* app);
    void CreateViewMenu(DesktopApp* app);
    void CreateHelpMenu(DesktopApp* app);
    void CreateKeys(DesktopApp* app);
    void CreateToolBar();
    void CreateStatusBar();
    void ToggleBar(QWidget* bar);
    void PollLockKeys();
    // Whether action is one of the window's commands (menu item, key or
    // toolbar button).
    bool IsCommand(const QAction* action) const;

    DesktopApp* m_app;
    QToolBar* m_toolBar = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QLabel* m_messagePane = nullptr;
    QLabel* m_countPane = nullptr;
    QLabel* m_lockKeyPanes[3] = {nullptr, nullptr, nullptr};
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentEnd = nullptr; // the separator after the recent files
    QList<QAction*> m_recentActions;
    QAction* m_viewToolBar = nullptr;
    QAction* m_viewStatusBar = nullptr;
    QPointer<QWidget> m_helpWindow;
    QTimer* m_lockTimer = nullptr;
};
