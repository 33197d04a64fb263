#pragma once

#include <QString>
#include <QStringList>

// What differs between the kinds of database behind the same code: the
// statements are written once, with names in brackets ([EVENTS].[INDEX]) or
// bare (EVENTS.USER_NO), and Sql() turns them into what the backend reads.
// Tables and columns keep their upper-case names on every backend.
class Dialect
{
public:
    enum class Backend
    {
        Sqlite,
        Postgres,
        Odbc,
    };

    explicit Dialect(Backend backend = Backend::Sqlite) : m_backend(backend) {}

    Backend GetBackend() const { return m_backend; }
    bool IsSqlite() const { return m_backend == Backend::Sqlite; }

    // The statement as this backend reads it. PostgreSQL has no brackets and
    // folds bare names to lower case, so the program's table and column names
    // are put in double quotes there; text in quotes is left alone.
    QString Sql(const QString& text) const;

    // Whether other connections can be told of a change (LISTEN/NOTIFY).
    bool HasNotifications() const { return m_backend == Backend::Postgres; }
    // The channel a stored download is announced on; the payload is the
    // schema it went into.
    static QString ChangeChannel() { return QStringLiteral("zqreader_events"); }
    QString NotifySql() const;

    // Whether a cheap number tells that somebody has written (SQLite's
    // data_version, a digest of PostgreSQL's snapshot); without it the
    // contents themselves are compared.
    bool HasDataVersion() const { return !DataVersionSql().isEmpty(); }
    // One row: that number; on PostgreSQL also how many rows of EVENTS and
    // USERS this transaction has changed. Empty where there is none.
    QString DataVersionSql() const;
    // The same two numbers as columns to add to the select list of another
    // statement, which then reads them in the snapshot of its rows; empty
    // where there are none (SQLite's pragma is a statement of its own).
    QString DataVersionColumns() const;

    // Every USERS row with the types of its values, in INDEX order: six
    // columns, the types first.
    QString UsersDigestSql() const;

    // One row, one value: true when this connection may insert into EVENTS.
    // Empty where the file's own checks apply (SQLite).
    QString CanAppendSql() const;

    // One row, one value: true when this connection has taken the lock that
    // keeps a second download from the same EVENTS table, held until the
    // connection closes; never waits. Empty where the program locks the
    // database file instead (SQLite).
    QString ReadLockSql() const;

    // The statements that create the two tables in an empty server database.
    QStringList CreateTablesSql() const;
    // One row, one value: how many of EVENTS and USERS exist already.
    QString CountTablesSql() const;
    // The columns of EVENTS and USERS: rows of (table, name, type, numbered
    // by the server), in one statement.
    QString ColumnsSql() const;

private:
    Backend m_backend;
};
