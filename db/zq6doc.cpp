#include "db/zq6doc.h"

#include "db/backend/dbexception.h"
#include "db/backend/odbcconnect.h"
#include "db/backend/serverdb.h"
#include "db/location/dbfile.h"
#include "db/location/outputcheck.h"
#include "db/location/readlock.h"
#include "db/location/stagedfile.h"
#include "db/messages.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/record/dbtemplate.h"
#include "db/zq6set.h"

namespace {

const QString kDefaultTitle = QStringLiteral("Event");
const QString kNothingReplaced = QStringLiteral("\nNothing was replaced.");

} // namespace

CZq6Doc::CZq6Doc(MessageSink* messages) : m_pMessages(messages), m_strTitle(kDefaultTitle) {}

CZq6Doc::~CZq6Doc()
{
    // The connection must go before the program's SQL drivers are unloaded.
    CloseDatabase();
    g_strDbPath.clear();
    g_dbLocation = Location();
}

void CZq6Doc::Report(const QString& text, UserMessage::Kind kind, const QString& detail,
                     bool taskModal) const
{
    if (m_pMessages)
        m_pMessages->ShowMessage({text, kind, detail, taskModal});
}

bool CZq6Doc::OnNewDocument()
{
    m_location = Location();
    m_strTitle = kDefaultTitle;
    return true;
}

void CZq6Doc::SetLocation(const Location& location)
{
    m_location = location;
    m_strTitle = location.GetKind() == Location::Kind::None ? kDefaultTitle : location.Title();
}

bool CZq6Doc::OnOpenDocument(const QString& path)
{
    return OnOpenDocument(Location::Parse(path));
}

bool CZq6Doc::OnOpenDocument(const Location& location)
{
    if (location.IsFile()) {
        const DbFileCheck check = CheckDbFile(location);
        if (check.kind != DbFileKind::Sqlite) {
            m_openFailure = DbFailure::Other;
            Report(check.message, UserMessage::Kind::Error);
            return false;
        }
    }

    // Everything is prepared on the side and swapped in only when it all
    // worked, so a file that fails leaves the open database as it was.
    CDatabase fresh;
    CZq6Set* set = nullptr;
    try {
        fresh.Open(location);
        g_db.Swap(fresh);
        try {
            set = new CZq6Set(&g_db);
            // An event matched by several users gives a row for each; without
            // the second key a server may return them in any order.
            set->m_strSort = QStringLiteral("[EVENTS].[INDEX], [USERS].[INDEX]");
            // A server database was found readable when it was opened (see
            // OpenServerDatabase): its first rows are read by whoever shows
            // them. A file's first page tells whether it can be read at all.
            set->Open(location.IsServer() ? CRecordset::unread : CRecordset::dynaset);
        } catch (const CDBException& e) {
            delete set;
            g_db.Swap(fresh);
            // The database opened, but its rows cannot be read.
            throw CDBException(fresh.ReadFailedMessage(e), e.Kind());
        } catch (...) {
            delete set;
            g_db.Swap(fresh);
            throw;
        }
    } catch (const CDBException& e) {
        m_openFailure = e.Kind();
        Report(e.m_strError, UserMessage::Kind::Error);
        return false;
    }

    if (g_pSet) {
        if (g_pSet->IsOpen())
            g_pSet->Close();
        delete g_pSet;
    }
    g_pSet = set;
    fresh.Close(); // the previous connection
    if (m_readLock)
        m_retiredLocks.push_back(std::move(m_readLock));
    m_readLock = std::make_unique<FileReadLock>(location);
    // Later connections to the same server database find the password.
    RememberPassword(location);
    // Later connections are opened from this.
    g_dbLocation = location;
    g_strDbPath = location.Text();
    m_bDbOpen = true;
    return true;
}

bool CZq6Doc::Reconnect(QString* error)
{
    if (!m_bDbOpen || !g_dbLocation.IsServer())
        return false;
    CDatabase fresh;
    try {
        fresh.Open(g_dbLocation);
    } catch (const CDBException& e) {
        if (error)
            *error = e.m_strError;
        return false;
    }
    const bool setOpen = g_pSet && g_pSet->IsOpen();
    if (setOpen)
        g_pSet->Close();
    g_db.Swap(fresh);
    fresh.Close(); // the broken connection
    // Read by whoever shows it, as when the database was opened; on an open
    // connection this runs nothing.
    if (setOpen)
        g_pSet->Open(CRecordset::unread);
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
    return OnSaveDocument(Location::Parse(path));
}

bool CZq6Doc::OnSaveDocument(const Location& location)
{
    const QString failed = QStringLiteral("Error while creating new database");
    // Through ODBC the new file is made as any other and then opened through it.
    const bool odbc = location.GetKind() == Location::Kind::Odbc;
    if (!location.IsFile() && !odbc) {
        if (!location.IsServer()) {
            Report(failed, UserMessage::Kind::Error,
                   location.Error().isEmpty()
                       ? QStringLiteral("\"%1\" cannot hold a new database.").arg(location.Shown())
                       : location.Error());
            return false;
        }
        try {
            CreateServerTables(location);
        } catch (const CDBException& e) {
            Report(failed, UserMessage::Kind::Error, e.m_strError);
            return false;
        }
        if (!OnOpenDocument(location))
            return false;
        Report(QStringLiteral("A new database has been created:  ") + location.Shown(),
               UserMessage::Kind::Outcome);
        return true;
    }
    const Location file = location.File();
    const QString& shown = location.Shown();
    auto fail = [&](const QString& why) {
        // Through ODBC the path may be a connection string's, and the file
        // functions name it as it is.
        Report(failed, UserMessage::Kind::Error, odbc ? WithoutPasswords(why) : why);
        return false;
    };

    const QString notAFile = NotRegularFileMessage(file);
    if (!notAFile.isEmpty())
        return fail(notAFile);
    // A new database in place of the open one is a fresh start (see below);
    // one in place of its journal, or of a hard link of it, is not.
    const Location opened = m_bDbOpen ? OpenDbLocation() : Location();
    if (m_bDbOpen && !SameFile(file, opened)) {
        const QString over = OutputOverInputMessage(file, opened);
        if (!over.isEmpty())
            return fail(over);
    }

    // The new file is written and checked beside the target and only then
    // moved over it, so a failure leaves any file that was there untouched.
    StagedFile target(file.Path());
    try {
        WriteTemplateCopy(target, shown);
        // The route asked for must answer before anything is replaced.
        if (odbc)
            ProbeOdbcConnection(target.WrittenName(), shown);
    } catch (const CDBException& e) {
        return fail(odbc ? e.m_strError + kNothingReplaced : e.m_strError);
    }

    const bool replacingOpen = m_bDbOpen && SameFile(file, opened);
    if (replacingOpen)
        CloseDatabase();
    auto reopenPrevious = [&] {
        if (replacingOpen && !OnOpenDocument(opened))
            m_bDbOpen = false;
        return false;
    };
    // Through ODBC what the data source reads is known only once the new file
    // is in its place: what was there is kept aside until the new one opens.
    if (!target.Commit(odbc)) {
        fail(QStringLiteral("\"%1\" cannot be written: %2").arg(shown, target.ErrorString()));
        return reopenPrevious();
    }
    if (odbc) {
        try {
            CDatabase check;
            check.Open(location);
        } catch (const CDBException& e) {
            if (target.RestorePrevious())
                fail(e.m_strError + kNothingReplaced);
            else
                fail(e.m_strError + QStringLiteral(" What was at \"%1\" could not be put back: %2")
                                        .arg(shown, target.ErrorString()));
            return reopenPrevious();
        }
    }

    if (!OnOpenDocument(location)) {
        if (replacingOpen)
            m_bDbOpen = false;
        return false;
    }
    Report(QStringLiteral("A new database has been created:  ") + shown,
           UserMessage::Kind::Outcome);
    return true;
}

bool CZq6Doc::AppendEvents(const QVector<NewEvent>& events)
{
    if (!m_bDbOpen) {
        Report(QStringLiteral("The database is not opened !"), UserMessage::Kind::Error);
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
        Report(e.m_strError, UserMessage::Kind::Error);
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
