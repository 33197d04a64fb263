#pragma once

#include "db/backend/connection.h"

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <vector>

class Location;
class PgListener;
class PgStatement;
struct pg_conn;
struct pg_result;

// The rows of one result the server sent, all held, read one at a time.
class PgRows : public ResultRow
{
public:
    PgRows() = default;
    explicit PgRows(pg_result* result);
    ~PgRows() override;
    PgRows(PgRows&& other) noexcept;
    PgRows& operator=(PgRows&& other) noexcept;
    PgRows(const PgRows&) = delete;
    PgRows& operator=(const PgRows&) = delete;

    // Moves to the next row; false after the last one.
    bool Next();
    int Size() const { return m_rows; }
    void Clear();

    ValueType Type(int column) const override;
    qint64 Int64(int column) const override;
    QString Text(int column) const override;
    bool TextBytes(int column, QByteArrayView* text) const override;
    QVariant Value(int column) const override;

private:
    pg_result* m_result = nullptr;
    int m_row = -1;
    int m_rows = 0;
};

// What a binary COPY's column holds, told by the caller: its rows carry no
// types. Integer: any width; Timestamp: without zone, read as the server
// writes it in ISO style; Text: the UTF-8 bytes.
enum class CopyColumn
{
    Integer,
    Timestamp,
    Text,
};

// A connection to a PostgreSQL server on its client library. Statements run
// as unnamed statements: parsed, planned for the values given, run and
// answered in one round trip. Statements made on it throw once it closed.
class PgConnection final : public Connection
{
public:
    // Connects with the program's settings in the start-up packet (client
    // encoding UTF8, ISO dates, the user's own options=, warnings kept from
    // standard error) and a time limit of 10 s unless the address gives one.
    // Throws CDBException with the client library's words, passwords taken
    // out, and the kind: PasswordNeeded, PasswordRefused or Unreachable.
    static std::unique_ptr<PgConnection> Connect(const Location& location);
    ~PgConnection() override;

    Dialect::Backend Backend() const override { return Dialect::Backend::Postgres; }
    bool IsOpen() const override;
    std::unique_ptr<Statement> Prepare(const QString& sql) override;
    void Execute(const QByteArray& sql) override;
    void Begin() override;
    void BeginWrite() override;
    void Commit() override;
    void Rollback() override;
    std::unique_ptr<RowWriter> AppendRows(const QString& table,
                                          const QStringList& columns) override;
    std::unique_ptr<StatementCancel> MakeCancel() override;

    // Sends the statements of sql at once (one round trip) and returns the
    // rows of each; a failure ends the run there and is thrown after the
    // results before it are in *results.
    void RunBatch(const QByteArray& sql, std::vector<PgRows>* results);
    // Runs a statement with its values, every row kept.
    PgRows Query(const QByteArray& sql, const QVariantList& values = {});

    // Reads the rows of a COPY ... TO STDOUT (FORMAT binary) of the given
    // columns one at a time, nothing but the row at hand held. Returns false
    // when onRow stopped it: a statement of its own transaction is then
    // cancelled (mayCancel), else read on to its end unseen.
    bool CopyRows(const QByteArray& sql, std::span<const CopyColumn> columns,
                  const std::function<bool(const ResultRow&)>& onRow, bool mayCancel);

    // Whether a transaction is open and sound; false when none is open.
    bool InTransaction() const;
    // Whether no statement is under way and no failed transaction is open.
    bool IsIdle() const;
    // text as a literal of the server's statements, quoted.
    QByteArray Literal(const QString& text) const;

    // Listens for notifications on channel; the listener tells them, and that
    // the connection was lost while it listened.
    PgListener* Listen(const QString& channel);
    void Unlisten(const QString& channel);

    // Why the connection no longer works, found by asking the server; empty
    // while it works.
    QString Loss();

    // For its statements and the listener.
    pg_conn* Handle() const { return m_conn; }
    // Throws when the connection no longer works (a lost connection).
    void RequireOpen();
    void Forget(PgStatement* statement) { m_statements.erase(statement); }
    void Note(PgStatement* statement) { m_statements.insert(statement); }
    // Takes a result: thrown with the server's reason when it failed; passes
    // on what arrived meanwhile for the listener.
    pg_result* Check(pg_result* result, int expected);

private:
    explicit PgConnection(pg_conn* conn);

    pg_conn* m_conn;
    std::set<PgStatement*> m_statements;
    PgListener* m_listener = nullptr;
};
