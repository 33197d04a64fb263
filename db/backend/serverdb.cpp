#include "db/backend/serverdb.h"

#include "db/backend/dbexception.h"
#include "db/backend/dialect.h"
#include "db/backend/schemacheck.h"
#include "db/location/location.h"

#include <QAtomicInt>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

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

void OpenServerConnection(const QString& name, const Location& location)
{
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        if (!db.isValid()) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw CDBException(failure(location, QStringLiteral("Cannot open the database"),
                                       QStringLiteral("the PostgreSQL driver of Qt (QPSQL) is "
                                                      "not installed.")));
        }
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
        // that changed, say) would be printed before the SET below runs.
        if (!options.contains(QLatin1String("options=")))
            options += QLatin1String(options.isEmpty() ? "" : ";") +
                       QStringLiteral("options='-c client_min_messages=error'");
        db.setConnectOptions(options);
        if (db.open()) {
            // What one connection reads inside a transaction is one state of the
            // database, as with SQLite: a count and the stamp taken with it agree.
            QSqlQuery setup(db);
            // The client library prints the server's notices and warnings
            // raw on standard error; this program reports errors only.
            // The driver prepares every statement on the server: a plan made
            // once for any key and window size sorts the whole join for a
            // screen of rows, while planned for the values given the window
            // is read through the primary key. Servers before version 12
            // have no such setting and keep their own. All in one round trip.
            if (setup.exec(QStringLiteral(
                    "SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL REPEATABLE READ; "
                    "SET client_min_messages TO error; "
                    "SELECT set_config('plan_cache_mode', 'force_custom_plan', false) "
                    "WHERE current_setting('server_version_num')::int >= 120000")))
                return;
            error = setup.lastError().text();
        } else {
            error = db.lastError().databaseText();
            if (error.isEmpty())
                error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    throw CDBException(failure(location, QStringLiteral("Cannot open the database"), error));
}

void VerifyServerSchema(const QSqlDatabase& db, const Location& location)
{
    const QString& shown = location.Shown();
    // One round trip for both tables: a server far away answers each slowly.
    QSqlQuery info(db);
    info.setForwardOnly(true);
    if (!info.exec(Dialect(Dialect::Backend::Postgres).ColumnsSql()))
        throw CDBException(
            failure(location, QStringLiteral("Cannot read the database"), info.lastError().text()));
    FoundColumns events;
    FoundColumns users;
    while (info.next())
        (info.value(0).toString() == QLatin1String("EVENTS") ? events : users)
            .insert(info.value(1).toString(), {info.value(2).toString(), info.value(3).toBool()});
    RequireColumns(shown, "EVENTS", events, kEventsColumns, fits);
    RequireColumns(shown, "USERS", users, kUsersColumns, fits);
    if (!events.value(QStringLiteral("INDEX")).numbered)
        throw CDBException(QStringLiteral("Column INDEX of table EVENTS in \"%1\" is not numbered "
                                          "by the database (it must be an identity column).")
                               .arg(shown));
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
