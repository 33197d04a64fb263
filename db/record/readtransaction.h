#pragma once

#include "db/backend/dbexception.h"
#include "db/record/database.h"

#include <utility>

// Everything read inside one sees the same state of the file, so that the
// marks and the stamp of a count, or the check and the rows of a fetch, agree.
// Rolled back unless committed.
class ReadTransaction
{
public:
    explicit ReadTransaction(CDatabase* db) : m_db(db)
    {
        if (!m_db->IsOpen())
            throw CDBException(QStringLiteral("The database is not connected."));
        m_db->BeginTrans();
    }
    ~ReadTransaction()
    {
        if (m_db)
            m_db->Rollback();
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;
    void Commit() { std::exchange(m_db, nullptr)->CommitTrans(); }

private:
    CDatabase* m_db;
};
