#include "db/zq6doc.h"

#include "db/database.h"
#include "db/dbexception.h"
#include "db/dbfile.h"
#include "db/dbstate.h"
#include "db/dbtemplate.h"
#include "db/messages.h"
#include "db/zq6set.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString kDefaultTitle = QStringLiteral("Event");

} // namespace

CZq6Doc::CZq6Doc(MessageSink* messages) : m_pMessages(messages), m_strTitle(kDefaultTitle) {}

CZq6Doc::~CZq6Doc()
{
    // The connection must go before the program's SQL drivers are unloaded.
    CloseDatabase();
    g_strDbPath.clear();
}

void CZq6Doc::Report(const QString& text, const QString& caption, const QString& detail,
                     bool taskModal) const
{
    if (m_pMessages)
        m_pMessages->ShowMessage({text, caption, detail, taskModal});
}

bool CZq6Doc::OnNewDocument()
{
    m_strPathName.clear();
    m_strTitle = kDefaultTitle;
    return true;
}

void CZq6Doc::SetPathName(const QString& path)
{
    m_strPathName = path;
    m_strTitle = path.isEmpty() ? kDefaultTitle : QFileInfo(path).fileName();
}

bool CZq6Doc::OnOpenDocument(const QString& path)
{
    const DbFileCheck check = CheckDbFile(path);
    if (check.kind != DbFileKind::Sqlite) {
        Report(check.message, QStringLiteral("Error"));
        return false;
    }

    // Everything is prepared on the side and swapped in only when it all
    // worked, so a file that fails leaves the open database as it was.
    CDatabase fresh;
    CZq6Set* set = nullptr;
    try {
        fresh.OpenFile(path);
        g_db.Swap(fresh);
        try {
            set = new CZq6Set(&g_db);
            set->Open(CRecordset::dynaset);
            set->m_strSort = QStringLiteral("[EVENTS].[INDEX]");
            set->Requery();
        } catch (...) {
            delete set;
            g_db.Swap(fresh);
            throw;
        }
    } catch (const CDBException& e) {
        Report(e.m_strError, QStringLiteral("Error"));
        return false;
    }

    if (g_pSet) {
        if (g_pSet->IsOpen())
            g_pSet->Close();
        delete g_pSet;
    }
    g_pSet = set;
    fresh.Close(); // the previous connection
    g_strDbPath = path;
    m_bDbOpen = true;
    return true;
}

void CZq6Doc::CloseDatabase()
{
    if (g_pSet) {
        if (g_pSet->IsOpen())
            g_pSet->Close();
        delete g_pSet;
        g_pSet = nullptr;
    }
    g_db.Close();
}

bool CZq6Doc::OnSaveDocument(const QString& path)
{
    const QString failed = QStringLiteral("Error while creating new database");
    const QString shown = QDir::toNativeSeparators(path);

    const QString templatePath = FindTemplate();
    if (templatePath.isEmpty()) {
        Report(failed, QStringLiteral("Error"),
               QStringLiteral("The template database %1 was not found.")
                   .arg(QLatin1String(kTemplateFileName)));
        return false;
    }
    QFile source(templatePath);
    if (!source.open(QIODevice::ReadOnly)) {
        Report(failed, QStringLiteral("Error"),
               QStringLiteral("The template database %1 cannot be read: %2")
                   .arg(QDir::toNativeSeparators(templatePath), source.errorString()));
        return false;
    }
    const QByteArray bytes = source.readAll();

    // Written beside the target and renamed over it at the end, so a failed
    // copy leaves any file that was there untouched.
    QSaveFile target(path);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly) || target.write(bytes) != bytes.size()) {
        Report(failed, QStringLiteral("Error"),
               QStringLiteral("\"%1\" cannot be written: %2").arg(shown, target.errorString()));
        return false;
    }

    const bool replacingOpen = m_bDbOpen && SameFile(path, g_strDbPath);
    if (replacingOpen)
        CloseDatabase();
    if (!target.commit()) {
        Report(failed, QStringLiteral("Error"),
               QStringLiteral("\"%1\" cannot be written: %2").arg(shown, target.errorString()));
        if (replacingOpen && !OnOpenDocument(g_strDbPath))
            m_bDbOpen = false;
        return false;
    }

    if (!OnOpenDocument(path)) {
        if (replacingOpen)
            m_bDbOpen = false;
        return false;
    }
    Report(QString::asprintf("%s %s", "A new database has been created: ", qUtf8Printable(path)),
           QStringLiteral("OK"));
    return true;
}

bool CZq6Doc::AppendEvents(const QVector<NewEvent>& events)
{
    if (!m_bDbOpen) {
        Report(QStringLiteral("The database is not opened !"), QStringLiteral("Error"));
        return false;
    }
    try {
        CDatabase connection;
        CEVENTS record(&connection);
        record.Open(CRecordset::dynaset);
        AppendEventBatch(record, events);
        record.Close();
        connection.Close();
    } catch (const CDBException& e) {
        Report(e.m_strError, QStringLiteral("Error"));
        return false;
    }
    return true;
}

void CZq6Doc::AddView(CDocView* view)
{
    if (!m_views.contains(view))
        m_views.append(view);
}

void CZq6Doc::RemoveView(CDocView* view)
{
    m_views.removeAll(view);
}

void CZq6Doc::UpdateAllViews()
{
    for (CDocView* view : std::as_const(m_views))
        view->OnUpdate();
}
