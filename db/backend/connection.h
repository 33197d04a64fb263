#pragma once

#include "db/backend/dialect.h"
#include "db/backend/statement.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

// Stops what a connection is running, from any thread; taken on the
// connection's own thread, it must not outlive the connection.
class StatementCancel
{
public:
    virtual ~StatementCancel() = default;
    virtual void Cancel() = 0;
};

// Appends rows to one table within the transaction under way, each value in
// the order of the columns it was made for, as fast as the backend takes
// them: SQLite's prepared INSERT a row at a time, PostgreSQL's COPY in one
// round trip at Finish(). Errors are thrown as CDBException.
class RowWriter
{
public:
    virtual ~RowWriter() = default;
    virtual void Integer(qint64 value) = 0;
    virtual void Text(QByteArrayView utf8) = 0;
    virtual void Text(QStringView text) = 0;
    virtual void Null() = 0;
    virtual void EndRow() = 0;
    // Stores what is still held; the writer is done then.
    virtual void Finish() = 0;
};

// One open connection to a database: an SQLite file on the C interface, a
// PostgreSQL server on its client library, a source of ODBC through Qt SQL.
// A connection belongs to the thread that opened it. Errors are thrown as
// CDBException, with the kind of failure told by the backend's own codes.
class Connection
{
public:
    virtual ~Connection() = default;
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    virtual Dialect::Backend Backend() const = 0;
    // Whether statements can still be sent (a server may have gone away).
    virtual bool IsOpen() const = 0;

    // A statement as the backend reads it, '?' for each value.
    virtual std::unique_ptr<Statement> Prepare(const QString& sql) = 0;
    // Runs one statement, or several separated by ';', for their effect.
    virtual void Execute(const QByteArray& sql) = 0;

    virtual void Begin() = 0;
    // Begins a transaction that will write: SQLite takes the file's write
    // lock at once (waiting for it as any write does).
    virtual void BeginWrite() = 0;
    // Throws when the transaction could not be committed (also when the
    // server rolled it back for an earlier failure); it is over either way.
    virtual void Commit() = 0;
    // Never throws: what a failed transaction needs on the way out.
    virtual void Rollback() = 0;

    // A writer for the columns of table (names as the program writes them),
    // in the transaction under way.
    virtual std::unique_ptr<RowWriter> AppendRows(const QString& table,
                                                  const QStringList& columns) = 0;
    // What stops a statement of this connection from another thread.
    virtual std::unique_ptr<StatementCancel> MakeCancel() = 0;
};
