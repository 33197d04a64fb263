#include "db/backend/serverdb.h"

#include "db/backend/dbexception.h"
#include "db/backend/dialect.h"
#include "db/backend/schemacheck.h"
#include "db/backend/serverdriver.h"
#include "db/backend/serverhandle.h"
#include "db/location/location.h"

#include <QAtomicInt>
#include <QElapsedTimer>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <libpq-fe.h>
#include <memory>
#include <vector>

namespace {

QAtomicInt g_setupCounter;

QString failure(const Location& location, const QString& what, const QString& error)
{
    // The client library may echo what it was given.
    QString said = WithoutPasswords(error.trimmed());
    if (!location.Password().isEmpty())
        said.replace(location.Password(), QString());
    return QStringLiteral("%1 \"%2\": %3").arg(what, location.Shown(), said);
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

} // namespace

namespace {

thread_local qint64 t_lastOpenNs = 0;

using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

// What one connection reads inside a transaction is one state of the
// database, as with SQLite: a count and the stamp taken with it agree.
// The client library prints the server's notices and warnings raw on
// standard error; this program reports errors only. Statements prepared
// through the driver are kept on the server: a plan made once for any key
// and window size sorts the whole join for a screen of rows, while planned
// for the values given the window is read through the primary key. Servers
// before version 12 have no such setting and keep their own.
const char kSettings[] =
    "SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL REPEATABLE READ; "
    "SET client_min_messages TO error; "
    "SELECT set_config('plan_cache_mode', 'force_custom_plan', false) "
    "WHERE current_setting('server_version_num')::int >= 120000";
constexpr int kSettingStatements = 3;

// The settings and then the statements of `more`, sent at once: one round
// trip. Returns the results of `more`; an error ends the run there and
// comes back as *error, with the results before it.
std::vector<Result> setUp(PGconn* conn, const QByteArray& more, QString* error)
{
    std::vector<Result> results;
    const QByteArray sql = more.isEmpty() ? QByteArray(kSettings) : kSettings + ("; " + more);
    if (!PQsendQuery(conn, sql.constData())) {
        *error = QString::fromUtf8(PQerrorMessage(conn));
        return results;
    }
    int n = 0;
    while (PGresult* raw = PQgetResult(conn)) {
        Result result(raw, PQclear);
        const ExecStatusType status = PQresultStatus(raw);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            if (error->isEmpty())
                *error = QString::fromUtf8(PQresultErrorMessage(raw));
        } else if (n++ >= kSettingStatements) {
            results.push_back(std::move(result));
        }
    }
    return results;
}

// Opens the connection and runs the settings and `more` on it; see
// OpenServerConnection. *setupFailed: the connection opened but that run
// failed (then the error is returned and the connection is gone).
QString open(const QString& name, const Location& location, const QByteArray& more,
             std::vector<Result>* results, bool* setupFailed, const ServerConnected& connected = {})
{
    QString error;
    *setupFailed = false;
    {
        ServerDriver::Register();
        QSqlDatabase db = QSqlDatabase::addDatabase(ServerDriver::Name(), name);
        db.setHostName(location.Host());
        if (location.Port() > 0)
            db.setPort(location.Port());
        db.setDatabaseName(location.Database());
        db.setUserName(location.User());
        db.setPassword(location.Password());
        QString options = location.ConnectOptions();
        if (!options.contains(QLatin1String("connect_timeout=")))
            options +=
                QLatin1String(options.isEmpty() ? "" : ";") + QStringLiteral("connect_timeout=10");
        // Warnings the server sends while the connection starts (a collation
        // that changed, say) would be printed before the settings are made.
        if (!options.contains(QLatin1String("options=")))
            options += QLatin1String(options.isEmpty() ? "" : ";") +
                       QStringLiteral("options='-c client_min_messages=error'");
        db.setConnectOptions(options);
        QElapsedTimer opening;
        opening.start();
        const bool opened = db.open();
        t_lastOpenNs = opening.nsecsElapsed();
        if (opened) {
            if (connected)
                connected(db);
            PGconn* conn = ServerHandle(db);
            if (!conn) {
                error = QStringLiteral("the connection of the PostgreSQL driver cannot be used.");
            } else {
                *results = setUp(conn, more, &error);
                if (error.isEmpty())
                    return {};
            }
            *setupFailed = true;
        } else {
            error = db.lastError().databaseText();
            if (error.isEmpty())
                error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

} // namespace

void OpenServerConnection(const QString& name, const Location& location)
{
    std::vector<Result> results;
    bool setupFailed = false;
    const QString error = open(name, location, {}, &results, &setupFailed);
    if (!error.isEmpty())
        throw CDBException(failure(location, QStringLiteral("Cannot open the database"), error));
}

void OpenServerDatabase(const QString& name, const Location& location,
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
    std::vector<Result> results;
    bool setupFailed = false;
    const QString error =
        open(name, location, (dialect.ColumnsSql() + "; " + dialect.Sql(probe)).toUtf8(), &results,
             &setupFailed, connected);
    if (!setupFailed && !error.isEmpty())
        throw CDBException(failure(location, QStringLiteral("Cannot open the database"), error));
    try {
        if (results.empty())
            throw CDBException(
                failure(location, QStringLiteral("Cannot open the database"), error));
        // The columns of both tables, then the probe.
        PGresult* info = results.front().get();
        FoundColumns events;
        FoundColumns users;
        for (int row = 0; row < PQntuples(info); ++row) {
            const auto text = [&](int column) {
                return QString::fromUtf8(PQgetvalue(info, row, column),
                                         PQgetlength(info, row, column));
            };
            (text(0) == QLatin1String("EVENTS") ? events : users)
                .insert(text(1), {text(2), text(3) == QLatin1String("t")});
        }
        RequireColumns(shown, "EVENTS", events, kEventsColumns, fits);
        RequireColumns(shown, "USERS", users, kUsersColumns, fits);
        if (!events.value(QStringLiteral("INDEX")).numbered)
            throw CDBException(QStringLiteral("Column INDEX of table EVENTS in \"%1\" is not "
                                              "numbered by the database (it must be an identity "
                                              "column).")
                                   .arg(shown));
        if (!error.isEmpty())
            throw CDBException(
                failure(location, QStringLiteral("Cannot read the database"), error));
    } catch (...) {
        if (!setupFailed) {
            {
                QSqlDatabase db = QSqlDatabase::database(name, false);
                db.close();
            }
            QSqlDatabase::removeDatabase(name);
        }
        throw;
    }
}

qint64 LastServerOpenNanoseconds()
{
    return t_lastOpenNs;
}

void CreateServerTables(const Location& location)
{
    const QString name =
        QStringLiteral("zq-setup-%1").arg(g_setupCounter.fetchAndAddRelaxed(1) + 1);
    OpenServerConnection(name, location);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        const Dialect dialect(Dialect::Backend::Postgres);
        QSqlQuery q(db);
        if (!db.transaction()) {
            error = db.lastError().text();
        } else if (!q.exec(dialect.CountTablesSql()) || !q.next()) {
            error = q.lastError().text();
        } else if (q.value(0).toInt() != 0) {
            error = QStringLiteral("The database \"%1\" already holds the tables of a ZQreader "
                                   "database; nothing was changed.")
                        .arg(location.Shown());
        } else {
            for (const QString& statement : dialect.CreateTablesSql()) {
                if (!q.exec(statement)) {
                    error = failure(location, QStringLiteral("Cannot create the tables in"),
                                    q.lastError().text());
                    break;
                }
            }
            if (error.isEmpty() && !db.commit())
                error = failure(location, QStringLiteral("Cannot create the tables in"),
                                db.lastError().text());
        }
        if (!error.isEmpty())
            db.rollback();
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!error.isEmpty())
        throw CDBException(error);
}

bool IsEmptyServerDatabase(const Location& location)
{
    const QString name =
        QStringLiteral("zq-setup-%1").arg(g_setupCounter.fetchAndAddRelaxed(1) + 1);
    OpenServerConnection(name, location);
    QString error;
    int tables = -1;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
        if (q.exec(Dialect(Dialect::Backend::Postgres).CountTablesSql()) && q.next())
            tables = q.value(0).toInt();
        else
            error =
                failure(location, QStringLiteral("Cannot read the database"), q.lastError().text());
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!error.isEmpty())
        throw CDBException(error);
    return tables == 0;
}

bool IsPasswordFailure(const QString& error)
{
    return error.contains(QLatin1String("no password supplied")) ||
           error.contains(QLatin1String("password authentication failed"));
}
