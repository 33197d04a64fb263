#pragma once

#include "db/backend/connection.h"
#include "db/backend/dialect.h"
#include "db/backend/serverdb.h"
#include "db/location/location.h"

#include <QString>
#include <memory>

class CDBException;
class PgConnection;
class SqliteConnection;

// One connection to a database: an SQLite file or a server database. Errors are thrown as
// CDBException. Connections belong to the thread that opened them.
class CDatabase
{
public:
    // How long a statement waits for another program's lock, in milliseconds.
    static constexpr int kBusyTimeoutMs = 5000;

    CDatabase();
    ~CDatabase();
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // Opens the file and checks that it holds the EVENTS and USERS tables with
    // usable columns. On failure the object stays closed. The path may hold
    // bytes that are not UTF-8 (see nativename.h).
    void OpenFile(const Location& location);
    void OpenFile(const QString& path); // a path not parsed yet

    // Opens a file or a server database (see Location); connected is called
    // with a server's connection before its checks run on it.
    void Open(const Location& location, const ServerConnected& connected = {});
    bool IsOpen() const;
    // Reads every page of the open file; throws when any of it is damaged.
    void CheckIntact() const;
    // "The database ... looks damaged: <symptom>.", and for a file how to
    // check it.
    QString DamagedMessage(const QString& symptom) const;
    // An error met while reading, with the database named: as damaged when
    // SQLite found the file damaged.
    QString ReadFailedMessage(const CDBException& error) const;
    void Close();

    // The file's path, or the ODBC source; empty for a server.
    const QString& GetPath() const { return m_location.Path(); }
    const Location& GetLocation() const { return m_location; }
    const Dialect& GetDialect() const { return m_dialect; }
    // Whether this process may write the file (not whether SQLite will).
    bool IsFileWritable() const;
    // Whether events can be added through this connection: the file is
    // writable and not opened read-only, or the server grants the insert.
    bool CanInsertEvents() const;
    // Takes the server's lock that keeps a second download from the same
    // table while this connection stays open; false when another connection
    // holds it. Always true for files (see cli/readlock.h).
    bool TakeReadLock();
    // Why the connection to a server no longer works, found by asking it;
    // empty while it works, and for files.
    QString ConnectionLoss() const;
    // Within a transaction: tells the other connections to the same database,
    // once it commits, that events were stored (where the backend can).
    void AnnounceStoredEvents();

    // The open connection; throws CDBException when there is none.
    Connection& GetConnection() const;
    // The connection of a file or of a server; nullptr for other backends
    // and while closed.
    SqliteConnection* Sqlite() const;
    PgConnection* Server() const;
    // Names the connection: a connection opened later has another name.
    const QString& ConnectionName() const { return m_name; }
    // Runs a statement as the dialect reads it (see Dialect::Sql) for its
    // effect.
    void Execute(const QString& sql);

    void BeginTrans();
    void CommitTrans();
    void Rollback();

    void Swap(CDatabase& other);

private:
    void VerifySchema() const;
    void Adopt(std::unique_ptr<Connection> connection, const Location& location);

    std::unique_ptr<Connection> m_connection;
    QString m_name;
    Location m_location;
    Dialect m_dialect;
};
