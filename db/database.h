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
    // usable columns. On failure the object stays closed. The path may hold
    // bytes that are not UTF-8 (see nativename.h).
    void OpenFile(const QString& path);
    bool IsOpen() const;
    // Reads every page of the open file; throws when any of it is damaged.
    void CheckIntact() const;
    void Close();

    QString GetPath() const { return m_path; }
    // Whether this process may write the file (not whether SQLite will).
    bool IsFileWritable() const;
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
