#pragma once

#include "db/backend/serverstatement.h"

#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <initializer_list>

class CDatabase;
struct sqlite3_stmt;

// A statement prepared once and run many times, its values read as
// QSqlQuery::value() gives them. On an SQLite connection it runs through
// SQLite's C interface, on the statement Qt's driver prepared, so that a row
// costs no conversion of the columns nobody reads; the driver still owns the
// statement and finalises it when the connection closes, after which Exec()
// throws and the query must be prepared anew. Other drivers run it through
// QSqlQuery; there preparing costs a round trip to the server, so it waits
// for the first Exec(), and a statement kept but never run costs nothing.
class PreparedQuery
{
public:
    PreparedQuery() = default;
    // Throws CDBException when db is closed or, on SQLite, the statement is
    // wrong (elsewhere the first Exec() does).
    PreparedQuery(const CDatabase& db, const QString& sql);

    bool IsPrepared() const { return m_prepared; }
    bool IsSqlite() const { return m_sqlite; }

    // Starts a run with the values bound in order; Next() then steps through
    // the rows. Throws CDBException.
    void Exec(std::initializer_list<qint64> values = {});
    // The same with values of any type: texts bound as text, the rest as
    // whole numbers.
    void Exec(const QVariantList& values);
    // Moves to the next row; false at the end, where the run ends by itself.
    // Throws CDBException, the run ended.
    bool Next();
    // Ends a run before its last row, letting go of what it holds on the
    // file; nothing when none is under way.
    void Finish();

    // The values of the current row: value(column) and its toLongLong(),
    // toInt() and toString().
    QVariant Value(int column) const;
    bool IsNull(int column) const;
    qint64 Int64(int column) const;
    qint32 Int32(int column) const;
    QString Text(int column) const;

private:
    // Prepares the statement on a server when it first runs.
    void prepareOnServer();
    // Runs it through the client library when the connection allows; false
    // when it must go through the driver.
    bool execOnServer(const QVariantList& values);

    QSqlQuery m_query;
    ServerStatement m_server;
    QString m_connection;     // on a server
    bool m_serverRun = false; // the current run is m_server's
    QString m_unprepared;     // the statement until it is prepared, on a server
    bool m_prepared = false;
    bool m_sqlite = false;
    sqlite3_stmt* m_statement = nullptr; // during a run on SQLite
};
