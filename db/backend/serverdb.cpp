#include "db/backend/serverdb.h"

#include "db/backend/dbexception.h"
#include "db/backend/dialect.h"
#include "db/backend/pgconnection.h"
#include "db/backend/schemacheck.h"
#include "db/location/location.h"

#include <QElapsedTimer>
#include <QStringList>
#include <optional>
#include <vector>

namespace {

thread_local qint64 t_lastOpenNs = 0;

CDBException failure(const Location& location, const QString& what, const CDBException& e)
{
    // The client library may echo what it was given.
    QString said = WithoutPasswords(e.m_strError.trimmed());
    if (!location.Password().isEmpty())
        said.replace(location.Password(), QString());
    return CDBException(QStringLiteral("%1 \"%2\": %3").arg(what, location.Shown(), said),
                        e.Kind());
}

bool fits(ColumnKind kind, const QString& type)
{
    switch (kind) {
    case ColumnKind::Integer:
        return type == QLatin1String("integer") || type == QLatin1String("bigint") ||
               type == QLatin1String("smallint");
    case ColumnKind::DateTime:
        return type == QLatin1String("timestamp without time zone");
    case ColumnKind::Text:
        return type == QLatin1String("character varying") || type == QLatin1String("text") ||
               type == QLatin1String("character");
    }
    return false;
}

// What one connection reads inside a transaction is one state of the
// database, as with SQLite: a count and the stamp taken with it agree.
// The client library prints the server's notices and warnings raw on
// standard error; this program reports errors only. Statements are planned
// for the values given: a plan made once for any key and window size sorts
// the whole join for a screen of rows, while planned for the values given
// the window is read through the primary key. Servers before version 12
// have no such setting and plan unnamed statements so anyway.
const char kSettings[] =
    "SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL REPEATABLE READ; "
    "SET client_min_messages TO error; "
    "SELECT set_config('plan_cache_mode', 'force_custom_plan', false) "
    "WHERE current_setting('server_version_num')::int >= 120000";
constexpr size_t kSettingStatements = 3;

// The connection, timed.
std::unique_ptr<PgConnection> connect(const Location& location)
{
    QElapsedTimer opening;
    opening.start();
    try {
        auto connection = PgConnection::Connect(location);
        t_lastOpenNs = opening.nsecsElapsed();
        return connection;
    } catch (const CDBException& e) {
        t_lastOpenNs = opening.nsecsElapsed();
        throw failure(location, QStringLiteral("Cannot open the database"), e);
    }
}

// The settings and then the statements of `more`, sent at once: one round
// trip. Returns the results of `more`; a failure ends the run there and is
// kept in *error, with the results before it returned.
std::vector<PgRows> setUp(PgConnection& connection, const QByteArray& more,
                          std::optional<CDBException>* error)
{
    std::vector<PgRows> results;
    try {
        connection.RunBatch(more.isEmpty() ? QByteArray(kSettings) : kSettings + ("; " + more),
                            &results);
    } catch (const CDBException& e) {
        *error = e;
    }
    if (results.size() < kSettingStatements) {
        if (!*error)
            *error = CDBException(QStringLiteral("The server did not take the settings."));
        return {};
    }
    results.erase(results.begin(), results.begin() + kSettingStatements);
    return results;
}

} // namespace

std::unique_ptr<PgConnection> OpenServerConnection(const Location& location)
{
    auto connection = connect(location);
    std::optional<CDBException> error;
    setUp(*connection, {}, &error);
    if (error)
        throw failure(location, QStringLiteral("Cannot open the database"), *error);
    return connection;
}

std::unique_ptr<PgConnection> OpenServerDatabase(const Location& location,
                                                 const ServerConnected& connected)
{
    const QString& shown = location.Shown();
    const Dialect dialect(Dialect::Backend::Postgres);
    // Every column the program reads, as a read: a role that may not read
    // them is told so here rather than at the first rows.
    QStringList read;
    for (const RequiredColumn& c : kEventsColumns)
        read << QStringLiteral("[EVENTS].[%1]").arg(QLatin1String(c.name));
    for (const RequiredColumn& c : kUsersColumns)
        read << QStringLiteral("[USERS].[%1]").arg(QLatin1String(c.name));
    const QString probe = QStringLiteral("SELECT ") + read.join(QStringLiteral(", ")) +
                          QStringLiteral(" FROM [EVENTS], [USERS] LIMIT 0");
    auto connection = connect(location);
    if (connected)
        connected(*connection);
    std::optional<CDBException> error;
    std::vector<PgRows> results =
        setUp(*connection, (dialect.ColumnsSql() + "; " + dialect.Sql(probe)).toUtf8(), &error);
    if (results.empty())
        throw failure(location, QStringLiteral("Cannot open the database"), *error);
    // The columns of both tables, then the probe.
    PgRows& info = results.front();
    FoundColumns events;
    FoundColumns users;
    while (info.Next()) {
        (info.Text(0) == QLatin1String("EVENTS") ? events : users)
            .insert(info.Text(1), {info.Text(2), info.Text(3) == QLatin1String("t")});
    }
    RequireColumns(shown, "EVENTS", events, kEventsColumns, fits);
    RequireColumns(shown, "USERS", users, kUsersColumns, fits);
    if (!events.value(QStringLiteral("INDEX")).numbered)
        throw CDBException(QStringLiteral("Column INDEX of table EVENTS in \"%1\" is not "
                                          "numbered by the database (it must be an identity "
                                          "column).")
                               .arg(shown));
    if (error)
        throw failure(location, QStringLiteral("Cannot read the database"), *error);
    return connection;
}

qint64 LastServerOpenNanoseconds()
{
    return t_lastOpenNs;
}

void CreateServerTables(const Location& location)
{
    const auto connection = OpenServerConnection(location);
    const Dialect dialect(Dialect::Backend::Postgres);
    qint64 tables = -1;
    try {
        connection->Begin();
        PgRows count = connection->Query(dialect.CountTablesSql().toUtf8());
        tables = count.Next() ? count.Int64(0) : -1;
    } catch (...) {
        connection->Rollback();
        throw;
    }
    if (tables != 0) {
        connection->Rollback();
        throw CDBException(QStringLiteral("The database \"%1\" already holds the tables of a "
                                          "ZQreader database; nothing was changed.")
                               .arg(location.Shown()));
    }
    try {
        for (const QString& statement : dialect.CreateTablesSql())
            connection->Execute(statement.toUtf8());
        connection->Commit();
    } catch (const CDBException& e) {
        connection->Rollback();
        throw failure(location, QStringLiteral("Cannot create the tables in"), e);
    }
}

bool IsEmptyServerDatabase(const Location& location)
{
    const auto connection = OpenServerConnection(location);
    try {
        PgRows count =
            connection->Query(Dialect(Dialect::Backend::Postgres).CountTablesSql().toUtf8());
        return count.Next() && count.Int64(0) == 0;
    } catch (const CDBException& e) {
        throw failure(location, QStringLiteral("Cannot read the database"), e);
    }
}
