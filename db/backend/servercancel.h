#pragma once

class QSqlDatabase;
struct pg_cancel;

// What stops the statement a PostgreSQL connection is running, from any
// thread: taken on the connection's own thread, used from another. Does
// nothing for connections of other drivers.
class ServerStatementCancel
{
public:
    explicit ServerStatementCancel(const QSqlDatabase& db);
    ~ServerStatementCancel();
    ServerStatementCancel(const ServerStatementCancel&) = delete;
    ServerStatementCancel& operator=(const ServerStatementCancel&) = delete;

    // Asks the server to stop the statement running now, if any.
    void Cancel() const;

private:
    pg_cancel* m_cancel = nullptr;
};
