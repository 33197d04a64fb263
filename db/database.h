#pragma once

#include <QSqlDatabase>
#include <QString>

class QSqlQuery;

// One connection to a database file. Errors are thrown as CDBException.
// Connections belong to the thread that opened them.
class CDatabase
{
public:
    CDatabase();
    ~CDatabase();
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // Opens the file and checks that it holds the EVENTS and USERS tables with
    // usable columns. On failure the object stays closed.
    void OpenFile(const QString& path);
    bool IsOpen() const;
    void Close();

    QString GetPath() const { return m_path; }
    QSqlDatabase Handle() const;

    // A prepared query on this connection; throws when preparing fails.
    QSqlQuery Prepare(const QString& sql) const;
    static void Exec(QSqlQuery& query);

    void BeginTrans();
    void CommitTrans();
    void Rollback();

    void Swap(CDatabase& other);

private:
    void VerifySchema() const;
    [[noreturn]] void Fail(const QString& what) const;

    QString m_connection;
    QString m_path;
};
