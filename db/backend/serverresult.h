#pragma once

#include <QByteArray>
#include <QSqlResult>
#include <memory>

class ServerDriver;
struct pg_result;

// One query of ServerDriver: a statement run at once (all its rows kept), or
// one prepared on the server, named, run with its values as text and
// dropped with the query.
class ServerResult : public QSqlResult
{
public:
    explicit ServerResult(const ServerDriver* driver);
    ~ServerResult() override;

protected:
    bool reset(const QString& query) override;
    bool prepare(const QString& query) override;
    bool exec() override;
    QVariant data(int field) override;
    bool isNull(int field) override;
    bool fetch(int row) override;
    bool fetchFirst() override;
    bool fetchLast() override;
    int size() override;
    int numRowsAffected() override;
    QSqlRecord record() const override;
    QVariant lastInsertId() const override;
    void detachFromResultSet() override;

private:
    const ServerDriver* begin();
    bool connected(const ServerDriver* d);
    // After a failure: see ServerDriver::NoteLoss.
    void noteLoss() const;
    pg_result* takeResult(pg_result* result);
    void dropStatement();
    const ServerDriver* serverDriver() const;

    std::unique_ptr<pg_result, void (*)(pg_result*)> m_result;
    QByteArray m_statement; // the name of the prepared statement, if any
    int m_params = 0;
    int m_rows = 0;
};
