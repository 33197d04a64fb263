#include "db/backend/odbcconnect.h"

#include "db/backend/connectstring.h"
#include "db/backend/dbexception.h"
#include "db/location/location.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>

namespace {

// shown names the source in the message; empty: as dbPath is shown.
QString connectString(const QString& dbPath, const QString& shown)
{
    if (dbPath.contains(QLatin1String(".dsn"), Qt::CaseInsensitive))
        throw CDBException(
            QStringLiteral("\"%1\" cannot be opened through ODBC: a path holding "
                           "\".dsn\" is taken for a file data source.")
                .arg(shown.isEmpty() ? ShownLocation(QStringLiteral("odbc:") + dbPath) : shown));
    QString path = dbPath;
    if (path.contains(u';') || path.contains(u'{') || path.contains(u'}'))
        path = u'{' + path.replace(QLatin1String("}"), QLatin1String("}}")) + u'}';
    QString s = BuildConnectString(path);
    // With DRIVER= or SERVER= somewhere in it Qt passes the string as it is.
    if (s.contains(QLatin1String("DRIVER="), Qt::CaseInsensitive) ||
        s.contains(QLatin1String("SERVER="), Qt::CaseInsensitive))
        return s;
    return s.mid(int(sizeof "DSN=") - 1);
}

// sourceShown names the source where its path cannot be used (see connectString).
void openConnection(const QString& connectionName, const QString& dbPath, const QString& shown,
                    const QString& sourceShown)
{
    const QString connectString = ::connectString(dbPath, sourceShown);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), connectionName);
        if (!db.isValid()) {
            error = QStringLiteral("Qt's ODBC driver (QODBC) is not installed.");
        } else {
            db.setDatabaseName(connectString);
            if (db.open())
                return;
            error = db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
    throw CDBException(QStringLiteral("Cannot open the database \"%1\" through ODBC: %2")
                           .arg(shown, WithoutPasswords(error)));
}

} // namespace

QString OdbcConnectString(const QString& dbPath)
{
    return connectString(dbPath, {});
}

void OpenOdbcConnection(const QString& connectionName, const Location& location)
{
    openConnection(connectionName, location.Path(), location.Shown(), location.Shown());
}

void OpenOdbcConnection(const QString& connectionName, const QString& dbPath)
{
    OpenOdbcConnection(connectionName, Location::Parse(QStringLiteral("odbc:") + dbPath));
}

void ProbeOdbcConnection(const QString& dbPath, const QString& shown)
{
    static QAtomicInt probes;
    const QString name = QStringLiteral("zq-probe-%1").arg(probes.fetchAndAddRelaxed(1) + 1);
    openConnection(name, dbPath, shown, {});
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void VerifyOdbcTables(const QSqlDatabase& db, const QString& shown)
{
    static const struct
    {
        const char* table;
        const char* columns[5];
    } kTables[] = {{"EVENTS", {"INDEX", "TIMER", "DATE", "USER_NO", "BUTTON"}},
                   {"USERS", {"INDEX", "NAME", "USER_NO", "DATE_START", "DATE_STOP"}}};
    for (const auto& t : kTables) {
        const QSqlRecord record = db.record(QLatin1String(t.table));
        if (record.isEmpty())
            throw CDBException(QStringLiteral("The database \"%1\" has no table %2.")
                                   .arg(shown, QLatin1String(t.table)));
        for (const char* column : t.columns) {
            bool found = false;
            for (int i = 0; i < record.count() && !found; ++i)
                found =
                    record.fieldName(i).compare(QLatin1String(column), Qt::CaseInsensitive) == 0;
            if (!found)
                throw CDBException(
                    QStringLiteral("Table %1 of the database \"%2\" has no column %3.")
                        .arg(QLatin1String(t.table), shown, QLatin1String(column)));
        }
    }
}
