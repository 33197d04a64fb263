#include "db/record/database.h"

#include "db/backend/dbexception.h"
#include "db/backend/odbcconnect.h"
#include "db/backend/pgconnection.h"
#include "db/backend/schemacheck.h"
#include "db/backend/serverdb.h"
#include "db/backend/sqliteconnection.h"
#include "db/location/dbfile.h"
#include "db/location/nativename.h"
#include "db/record/preparedquery.h"
#include "platform/filestatus.h"

#include <QAtomicInt>
#include <QRegularExpression>
#include <utility>

namespace {

QAtomicInt g_connectionCounter;

// SQLite's rules for the affinity of a declared column type.
bool hasIntegerAffinity(const QString& type)
{
    return type.contains(QLatin1String("INT"), Qt::CaseInsensitive);
}

bool hasRealAffinity(const QString& type)
{
    return !hasIntegerAffinity(type) &&
           (type.contains(QLatin1String("REAL"), Qt::CaseInsensitive) ||
            type.contains(QLatin1String("FLOA"), Qt::CaseInsensitive) ||
            type.contains(QLatin1String("DOUB"), Qt::CaseInsensitive));
}

bool fitsSqlite(ColumnKind kind, const QString& type)
{
    if (kind == ColumnKind::Integer)
        return hasIntegerAffinity(type);
    return !hasIntegerAffinity(type) && !hasRealAffinity(type);
}

// The name as one word of a shell command line.
QString shellWord(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+,=-]+$"));
    if (plain.match(name).hasMatch())
        return name;
    QString quoted = name;
    return QLatin1Char('\'') + quoted.replace(QLatin1Char('\''), QLatin1String("'\\''")) +
           QLatin1Char('\'');
}

} // namespace

CDatabase::CDatabase() = default;

CDatabase::~CDatabase()
{
    Close();
}

void CDatabase::Adopt(std::unique_ptr<Connection> connection, const Location& location)
{
    m_connection = std::move(connection);
    m_name = QStringLiteral("zq-%1").arg(g_connectionCounter.fetchAndAddRelaxed(1) + 1);
    m_location = location;
    m_dialect = Dialect(m_connection->Backend());
}

void CDatabase::Open(const Location& location, const ServerConnected& connected)
{
    switch (location.GetKind()) {
    case Location::Kind::Server:
        Close();
        Adopt(OpenServerDatabase(location, connected), location);
        return;
    case Location::Kind::Invalid:
        Close();
        throw CDBException(location.Error());
    case Location::Kind::Odbc:
        Close();
        Adopt(OpenOdbc(location), location);
        return;
    default:
        OpenFile(location);
        return;
    }
}

void CDatabase::OpenFile(const QString& path)
{
    OpenFile(Location::FromFile(path));
}

void CDatabase::OpenFile(const Location& location)
{
    Close();
    const DbFileCheck check = CheckDbFile(location);
    if (check.kind != DbFileKind::Sqlite)
        throw CDBException(check.message);
    try {
        // Through a URI, so that the file opened is the one of exactly these bytes.
        Adopt(SqliteConnection::Open(SqliteNativeUri(location.NativeName()).toUtf8(), false,
                                     kBusyTimeoutMs),
              location);
    } catch (const CDBException& e) {
        throw CDBException(QStringLiteral("Cannot open the database \"%1\": %2")
                               .arg(location.Shown(), e.m_strError),
                           e.Kind());
    }
    try {
        VerifySchema();
    } catch (...) {
        Close();
        throw;
    }
}

bool CDatabase::IsOpen() const
{
    return m_connection && m_connection->IsOpen();
}

void CDatabase::CheckIntact() const
{
    QString verdict;
    try {
        PreparedQuery check(*this, QStringLiteral("PRAGMA quick_check"));
        check.Exec();
        if (!check.Next())
            throw CDBException(QStringLiteral("No result from: PRAGMA quick_check"));
        verdict = check.Text(0);
        check.Finish();
    } catch (const CDBException& e) {
        throw CDBException(QStringLiteral("Cannot read the database \"%1\": %2")
                               .arg(m_location.Shown(), e.m_strError),
                           e.Kind());
    }
    if (verdict != QLatin1String("ok"))
        throw CDBException(
            QStringLiteral("The database \"%1\" is damaged: %2").arg(m_location.Shown(), verdict),
            DbFailure::Damaged);
}

QString CDatabase::DamagedMessage(const QString& symptom) const
{
    QString text =
        QStringLiteral("The database \"%1\" looks damaged: %2.").arg(m_location.Shown(), symptom);
    if (m_dialect.IsSqlite())
        text += QStringLiteral(" Check it with: sqlite3 %1 \"PRAGMA integrity_check\"")
                    .arg(shellWord(m_location.Shown()));
    return text;
}

QString CDatabase::ReadFailedMessage(const CDBException& error) const
{
    if (m_dialect.IsSqlite() && error.Kind() == DbFailure::Damaged)
        return DamagedMessage(error.m_strError.trimmed());
    return QStringLiteral("Cannot read the database \"%1\": %2")
        .arg(m_location.Shown(), error.m_strError);
}

void CDatabase::Close()
{
    m_connection.reset();
    m_name.clear();
    m_location = Location();
    m_dialect = Dialect();
}

bool CDatabase::IsFileWritable() const
{
    const QByteArray& name = m_location.NativeName();
    return !name.isEmpty() && !platform::WriteAccess(name);
}

bool CDatabase::CanInsertEvents() const
{
    if (!IsOpen())
        return false;
    // The file's own permission is all that can be known through ODBC.
    if (m_dialect.GetBackend() == Dialect::Backend::Odbc)
        return IsFileWritable();
    if (m_dialect.IsSqlite() && !IsFileWritable())
        return false;
    try {
        PreparedQuery q(*this, m_dialect.IsSqlite() ? QStringLiteral("PRAGMA query_only")
                                                    : m_dialect.CanAppendSql());
        q.Exec();
        const bool yes = q.Next() && (m_dialect.IsSqlite() ? q.Int64(0) == 0 : q.Value(0).toBool());
        q.Finish();
        return yes;
    } catch (const CDBException&) {
        return false;
    }
}

bool CDatabase::TakeReadLock()
{
    const QString sql = m_dialect.ReadLockSql();
    if (sql.isEmpty())
        return true;
    PreparedQuery q(*this, sql);
    q.Exec();
    const bool taken = q.Next() && q.Value(0).toBool();
    q.Finish();
    return taken;
}

QString CDatabase::ConnectionLoss() const
{
    PgConnection* server = Server();
    return server ? server->Loss() : QString();
}

void CDatabase::AnnounceStoredEvents()
{
    if (!m_dialect.HasNotifications())
        return;
    PreparedQuery q(*this, m_dialect.NotifySql());
    q.Exec();
    q.Finish();
}

Connection& CDatabase::GetConnection() const
{
    if (!IsOpen())
        throw CDBException(QStringLiteral("The database is not connected."));
    return *m_connection;
}

SqliteConnection* CDatabase::Sqlite() const
{
    return m_dialect.IsSqlite() ? static_cast<SqliteConnection*>(m_connection.get()) : nullptr;
}

PgConnection* CDatabase::Server() const
{
    return m_connection && m_dialect.GetBackend() == Dialect::Backend::Postgres
               ? static_cast<PgConnection*>(m_connection.get())
               : nullptr;
}

void CDatabase::Execute(const QString& sql)
{
    GetConnection().Execute(m_dialect.Sql(sql).toUtf8());
}

void CDatabase::BeginTrans()
{
    GetConnection().Begin();
}

void CDatabase::CommitTrans()
{
    GetConnection().Commit();
}

void CDatabase::Rollback()
{
    if (m_connection)
        m_connection->Rollback();
}

void CDatabase::Swap(CDatabase& other)
{
    std::swap(m_connection, other.m_connection);
    std::swap(m_name, other.m_name);
    std::swap(m_location, other.m_location);
    std::swap(m_dialect, other.m_dialect);
}

void CDatabase::VerifySchema() const
{
    const QString& shown = m_location.Shown();
    auto check = [&](const char* table, std::span<const RequiredColumn> columns) {
        FoundColumns found;
        try {
            PreparedQuery info(
                *this, QStringLiteral("PRAGMA table_info(\"%1\")").arg(QLatin1String(table)));
            info.Exec();
            while (info.Next()) {
                const QString type = info.Text(2);
                // Only an INTEGER PRIMARY KEY is numbered by SQLite itself on insert.
                const bool numbered = info.Int64(5) != 0 && type.compare(QLatin1String("INTEGER"),
                                                                         Qt::CaseInsensitive) == 0;
                found.insert(info.Text(1).toUpper(), {type, numbered});
            }
        } catch (const CDBException& e) {
            throw CDBException(
                QStringLiteral("Cannot read the database \"%1\": %2").arg(shown, e.m_strError),
                e.Kind());
        }
        RequireColumns(shown, table, found, columns, fitsSqlite);
        return found;
    };
    const auto events = check("EVENTS", kEventsColumns);
    check("USERS", kUsersColumns);
    if (!events.value(QStringLiteral("INDEX")).numbered)
        throw CDBException(
            QStringLiteral("Column INDEX of table EVENTS in \"%1\" is not numbered by "
                           "the database (it must be INTEGER PRIMARY KEY).")
                .arg(shown));
}
