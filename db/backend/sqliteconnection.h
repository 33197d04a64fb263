#pragma once

#include "db/backend/connection.h"

#include <QByteArray>
#include <optional>
#include <set>

struct sqlite3;
class SqliteStatement;

// A connection to an SQLite database on SQLite's C interface: the one
// libsqlite3 the program links, opened by the program itself. Statements
// made on it are finalised when it closes; after that they throw.
class SqliteConnection final : public Connection
{
public:
    // How long a statement waits for another connection's lock by default.
    static constexpr int kBusyTimeoutMs = 5000;

    // Opens the database a URI names ("file:" and the file's own bytes, see
    // SqliteNativeUri), to read and write unless readOnly. Throws
    // CDBException with SQLite's reason.
    static std::unique_ptr<SqliteConnection> Open(const QByteArray& uri, bool readOnly = false,
                                                  int busyTimeoutMs = kBusyTimeoutMs);
    // A new database of its own in memory.
    static std::unique_ptr<SqliteConnection> OpenMemory();
    ~SqliteConnection() override;

    Dialect::Backend Backend() const override { return Dialect::Backend::Sqlite; }
    bool IsOpen() const override { return m_handle != nullptr; }
    std::unique_ptr<Statement> Prepare(const QString& sql) override;
    void Execute(const QByteArray& sql) override;
    void Begin() override;
    void BeginWrite() override;
    void Commit() override;
    void Rollback() override;
    std::unique_ptr<RowWriter> AppendRows(const QString& table,
                                          const QStringList& columns) override;
    std::unique_ptr<StatementCancel> MakeCancel() override;

    // Rows written through this connection since it opened.
    qint64 TotalChanges() const;
    bool InTransaction() const;
    // The INDEX SQLite gave the last row inserted through this connection.
    qint64 LastInsertId() const;
    // How long statements wait for another connection's lock from now on.
    void SetBusyTimeout(int ms);
    // The path of the main database file as SQLite opened it; empty in memory.
    QByteArray FileName() const;
    // The file's change counter as the open transaction sees it (see
    // commitcounter.h); none outside a transaction, in WAL mode or when it
    // cannot be read. The bytes are read through SQLite's own file object:
    // opening the file again here would drop the locks SQLite holds on it.
    std::optional<quint32> FileChangeCounter() const;
    // How many statements were prepared on this connection so far.
    quint64 PreparedStatements() const { return m_prepared; }

    // For its statements.
    void Forget(SqliteStatement* statement) { m_statements.erase(statement); }
    void Note(SqliteStatement* statement);

private:
    explicit SqliteConnection(sqlite3* handle);
    // Runs one of the transaction's kept statements.
    void runKept(std::unique_ptr<Statement>& kept, const char* sql);

    sqlite3* m_handle;
    quint64 m_prepared = 0;
    std::set<SqliteStatement*> m_statements;
    std::unique_ptr<Statement> m_begin;
    std::unique_ptr<Statement> m_commit;
};
