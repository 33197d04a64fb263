#include "app/dialogs/accessimport.h"

#include "app/dialogs/shellui.h"
#include "db/backend/dbexception.h"
#include "db/location/nativename.h"
#include "db/messages.h"
#include "formats/accessimport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>

namespace {

// A window-modal progress bar with Cancel, kept alive by the events it lets
// through while rows are copied.
class ProgressWindow : public ImportProgress
{
public:
    explicit ProgressWindow(QWidget* parent)
        : m_dialog(QCoreApplication::translate("AccessImport", "Converting the Access database..."),
                   QCoreApplication::translate("AccessImport", "Cancel"), 0, 0, parent)
    {
        m_dialog.setWindowTitle(QCoreApplication::translate("AccessImport", "ZQreader"));
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(0);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
    }

    void Step(const QString& what, qint64 rows) override
    {
        m_dialog.setLabelText(what + QStringLiteral("..."));
        m_scale = rows > 1000000 ? rows / 1000000 + 1 : 1;
        m_dialog.setRange(0, rows > 0 ? int(rows / m_scale) : 0);
        m_dialog.setValue(0);
    }

    bool Advance(qint64 done) override
    {
        m_dialog.setValue(int(std::min<qint64>(done / m_scale, m_dialog.maximum())));
        return !m_dialog.wasCanceled();
    }

private:
    QProgressDialog m_dialog;
    qint64 m_scale = 1;
};

} // namespace

AccessConversion ConvertAccessDatabase(QWidget* parent, ShellUi& ui, MessageSink* messages,
                                       const QString& accessPath)
{
    const QFileInfo access(accessPath);
    QMessageBox ask(QMessageBox::Question, QCoreApplication::translate("AccessImport", "ZQreader"),
                    QCoreApplication::translate(
                        "AccessImport",
                        "\"%1\" is an Access database.\n\nCopy its events and users into "
                        "a new ZQreader database?")
                        .arg(ShownFileName(access.fileName())),
                    QMessageBox::Yes | QMessageBox::No, parent);
    ask.setDefaultButton(QMessageBox::Yes);
    if (ui.Exec(ask) != QMessageBox::Yes)
        return {};

    const QString suggested =
        access.dir().filePath(access.completeBaseName() + QStringLiteral(".db"));
    const QString chosen = ui.GetSaveFileName(parent, suggested);
    if (chosen.isEmpty())
        return {};
    const Location target = Location::FromFile(QFileInfo(chosen).absoluteFilePath());

    auto report = [messages](const UserMessage& message) {
        if (messages)
            messages->ShowMessage(message);
    };
    try {
        ProgressWindow progress(parent);
        const ImportCounts counts = ImportAccessFile(accessPath, target, &progress);
        report({QCoreApplication::translate("AccessImport", "A new database has been created:  ") +
                    target.Shown(),
                UserMessage::Kind::Outcome,
                QCoreApplication::translate("AccessImport", "Users copied:  %1, events copied:  %2")
                    .arg(counts.users)
                    .arg(counts.events)});
    } catch (const CDBException& e) {
        report({QCoreApplication::translate("AccessImport",
                                            "Error while converting the Access database"),
                UserMessage::Kind::Error, e.m_strError});
        return {AccessConversion::Failed, {}};
    }
    return {AccessConversion::Converted, target.Path()};
}
