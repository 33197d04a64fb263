#pragma once

// Helpers for the tests of the desktop program: messages recorded instead of
// shown, dialogs answered by the test, databases made from the built template.

#include "app/commandline.h"
#include "app/dialogs/optionsdialog.h"
#include "app/dialogs/progressdialog.h"
#include "app/dialogs/shellui.h"
#include "app/mainwindow.h"
#include "db/messages.h"
#include "tests/support/testdb.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QToolBar>
#include <QVector>
#include <functional>

namespace guitest {

struct RecordedMessage
{
    UserMessage message;
    int progressDialogs; // progress dialogs alive when it was shown
};

inline int CountProgressDialogs()
{
    int n = 0;
    for (QWidget* w : QApplication::allWidgets()) {
        if (qobject_cast<DownloadProgressDialog*>(w))
            ++n;
    }
    return n;
}

class RecordingSink : public MessageSink
{
public:
    void ShowMessage(const UserMessage& message) override
    {
        messages.append({message, CountProgressDialogs()});
    }
    QStringList Texts() const
    {
        QStringList texts;
        for (const RecordedMessage& m : messages)
            texts << m.message.text;
        return texts;
    }
    QVector<RecordedMessage> messages;
};

// File dialogs answer with the next queued path (empty when none is queued);
// modal dialogs go to onModal, which by default closes them at once.
class ScriptedUi : public ShellUi
{
public:
    QString GetOpenFileName(QWidget*, const QString&) override
    {
        ++openDialogs;
        return openPaths.isEmpty() ? QString() : openPaths.takeFirst();
    }
    QString GetSaveFileName(QWidget*, const QString&) override
    {
        ++saveDialogs;
        return savePaths.isEmpty() ? QString() : savePaths.takeFirst();
    }
    int Exec(QDialog& dialog) override
    {
        modalClasses << QString::fromLatin1(dialog.metaObject()->className());
        if (onModal)
            return onModal(dialog);
        return QDialog::Rejected;
    }

    QStringList openPaths;
    QStringList savePaths;
    int openDialogs = 0;
    int saveDialogs = 0;
    QStringList modalClasses;
    std::function<int(QDialog&)> onModal;
};

class FixedPorts : public PortLister
{
public:
    explicit FixedPorts(QStringList names = {}) : names(std::move(names)) {}
    QStringList PortNames() const override { return names; }
    QStringList names;
};

// The window's action of that name: a menu item, a key or a toolbar button
// ("newDatabaseButton").
inline QAction* Command(MainWindow* window, const char* name)
{
    return window->findChild<QAction*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

// Triggers the window's action of that name; false when there is none.
inline bool Trigger(MainWindow* window, const char* name)
{
    QAction* action = Command(window, name);
    if (action)
        action->trigger();
    return action != nullptr;
}

// The child of parent of that name, as the tests reach a dialog's widgets;
// the test ends at once when there is none.
template <class T> T* Child(const QObject* parent, const char* name)
{
    T* child = parent->findChild<T*>(QLatin1String(name));
    if (!child)
        qFatal("no child %s", name);
    return child;
}

// The command line that opens db at start, with the port for this run when
// one is given.
inline CommandLineInfo StartWith(const QString& db, const QString& port = {})
{
    CommandLineInfo cmd;
    cmd.dbPath = db;
    if (!port.isNull())
        cmd.port = PortName::Parse(port);
    return cmd;
}

// count events, one a minute from 2009-10-21 09:00:00, users cycling 1 to 5,
// timers from 1000.
inline QString AddEvents(const QString& path, int count, int firstTimer = 1000)
{
    return testdb::exec(
        path, {QStringLiteral(
                   "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                   "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) "
                   "SELECT %2 + i, datetime('2009-10-21 09:00:00', '+' || i || ' minutes'), "
                   "i % 5 + 1, '0' FROM n")
                   .arg(count - 1)
                   .arg(firstTimer)});
}

} // namespace guitest
