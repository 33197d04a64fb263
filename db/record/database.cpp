#include "db/record/database.h"

#include "db/backend/dbexception.h"
#include "db/backend/odbcconnect.h"
#include "db/backend/schemacheck.h"
#include "db/backend/serverdb.h"
#include "db/backend/sqlitehandle.h"
#include "db/location/dbfile.h"
#include "db/location/nativename.h"
#include "platform/filestatus.h"

#include <QAtomicInt>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
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

void CDatabase::Open(const Location& location, const ServerConnected& connected)
{
    switch (location.GetKind()) {
    case Location::Kind::Server:
        break;
    case Location::Kind::Invalid:
        Close();
        throw CDBException(location.Error());
    case Location::Kind::Odbc: {
        Close();
        const QString name =
            QStringLiteral("zq-%1").arg(g_connectionCounter.fetchAndAddRelaxed(1) + 1);
        OpenOdbcConnection(name, location);
        m_connection = name;
        m_location = location;
        m_dialect = Dialect(Dialect::Backend::Odbc);
        try {
            VerifyOdbcTables(Handle(), location.Shown());
        } catch (...) {
            Close();
            throw;
        }
        return;
    }
    default:
        OpenFile(location);
        return;
    }
    Close();
    const QString name = QStringLiteral("zq-%1").arg(g_connectionCounter.fetchAndAddRelaxed(1) + 1);
    OpenServerDatabase(name, location, connected);
    m_connection = name;
    m_location = location;
    m_dialect = Dialect(Dialect::Backend::Postgres);
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

    const QString name = QStringLiteral("zq-%1").arg(g_connectionCounter.fetchAndAddRelaxed(1) + 1);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        // Through a URI, so that the file opened is the one of exactly these bytes.
        db.setDatabaseName(SqliteNativeUri(location.NativeName()));
        db.setConnectOptions(
            QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_URI").arg(kBusyTimeoutMs));
        if (!db.open()) {
            const QString error = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw CDBException(
                QStringLiteral("Cannot open the database \"%1\": %2").arg(location.Shown(), error));
        }
    }
    m_connection = name;
    m_location = location;
    m_dialect = Dialect(Dialect::Backend::Sqlite);
    try {
        VerifySchema();
    } catch (...) {
        Close();
        throw;
    }
    // Loading the driver leaves this thread's vector registers in a state
    // that slows SQLite down (see sqlitehandle.h).
    ClearUpperVectorState();
}

bool CDatabase::IsOpen() const
{
    return !m_connection.isEmpty() && Handle().isOpen();
}

void CDatabase::CheckIntact() const
{
    QSqlQuery check(Handle());
    if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next())
        throw CDBException(QStringLiteral("Cannot read the database \"%1\": %2")
                               .arg(m_location.Shown(), check.lastError().text()));
    const QString verdict = check.value(0).toString();
    if (verdict != QLatin1String("ok"))
        throw CDBException(
            QStringLiteral("The database \"%1\" is damaged: %2").arg(m_location.Shown(), verdict));
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

QString CDatabase::ReadFailedMessage(const QString& error) const
{
    // SQLite's text for SQLITE_CORRUPT.
    if (m_dialect.IsSqlite() && error.contains(QLatin1String("database disk image is malformed")))
        return DamagedMessage(error.trimmed());
    return QStringLiteral("Cannot read the database \"%1\": %2").arg(m_location.Shown(), error);
}

void CDatabase::Close()
{
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
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
    QSqlQuery q(Handle());
    if (m_dialect.IsSqlite())
        return IsFileWritable() && q.exec(QStringLiteral("PRAGMA query_only")) && q.next() &&
               q.value(0).toInt() == 0;
    return q.exec(m_dialect.Sql(m_dialect.CanAppendSql())) && q.next() && q.value(0).toBool();
}

bool CDatabase::TakeReadLock()
{
    const QString sql = m_dialect.ReadLockSql();
    if (sql.isEmpty())
        return true;
    QSqlQuery q = Prepare(sql);
    Exec(q);
    return q.next() && q.value(0).toBool();
}

QString CDatabase::ConnectionLoss() const
{
    if (m_dialect.GetBackend() != Dialect::Backend::Postgres || m_connection.isEmpty())
        return {};
    // The driver takes a connection it has seen broken for closed.
    QSqlQuery probe(Handle());
    if (Handle().isOpen() && probe.exec(QStringLiteral("SELECT 1")))
        return {};
    const QString error = probe.lastError().databaseText().trimmed();
    return error.isEmpty() ? QStringLiteral("the server closed the connection") : error;
}

void CDatabase::AnnounceStoredEvents()
{
    if (!m_dialect.HasNotifications())
        return;
    QSqlQuery q = Prepare(m_dialect.NotifySql());
    Exec(q);
}

QSqlDatabase CDatabase::Handle() const
{
    return QSqlDatabase::database(m_connection, false);
}

QSqlQuery CDatabase::Prepare(const QString& sql) const
{
    if (!IsOpen())
        throw CDBException(QStringLiteral("The database is not connected."));
    QSqlQuery query(Handle());
    if (!query.prepare(m_dialect.Sql(sql)))
        Fail(query.lastError().text());
    return query;
}

void CDatabase::Exec(QSqlQuery& query)
{
    if (!query.exec())
        throw CDBException(query.lastError().text());
}

void CDatabase::BeginTrans()
{
    QSqlDatabase db = Handle();
    if (!db.transaction())
        Fail(db.lastError().text());
}

void CDatabase::CommitTrans()
{
    QSqlDatabase db = Handle();
    if (!db.commit()) {
        const QString error = db.lastError().text();
        db.rollback();
        Fail(error);
    }
}

void CDatabase::Rollback()
{
    Handle().rollback();
}

void CDatabase::Swap(CDatabase& other)
{
    std::swap(m_connection, other.m_connection);
    std::swap(m_location, other.m_location);
    std::swap(m_dialect, other.m_dialect);
}

void CDatabase::Fail(const QString& what) const
{
    throw CDBException(SqliteFailure(SqliteHandle(Handle()), what));
}

void CDatabase::VerifySchema() const
{
    const QString& shown = m_location.Shown();
    auto check = [&](const char* table, std::span<const RequiredColumn> columns) {
        QSqlQuery info(Handle());
        if (!info.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(QLatin1String(table))))
            throw CDBException(QStringLiteral("Cannot read the database \"%1\": %2")
                                   .arg(shown, info.lastError().text()));
        FoundColumns found;
        while (info.next()) {
            const QString type = info.value(2).toString();
            // Only an INTEGER PRIMARY KEY is numbered by SQLite itself on insert.
            const bool numbered = info.value(5).toInt() != 0 &&
                                  type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
            found.insert(info.value(1).toString().toUpper(), {type, numbered});
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
