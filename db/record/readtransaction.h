#pragma once

#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"

#include <utility>

// Everything read inside one sees the same state of the file, so that the
// marks and the stamp of a count, or the check and the rows of a fetch, agree.
// Begun and ended on the statements kept for it where there are any.
class ReadTransaction
{
public:
    ReadTransaction(CDatabase* db, PreparedQuery& begin, PreparedQuery& commit)
        : m_db(db), m_commit(commit.IsPrepared() ? &commit : nullptr)
    {
        if (!m_db->IsOpen())
            throw CDBException(QStringLiteral("The database is not connected."));
        if (m_commit && begin.IsPrepared())
            runOnce(begin);
        else
            m_db->BeginTrans();
    }
    ~ReadTransaction()
    {
        if (m_db)
            m_db->Rollback();
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;
    void Commit()
    {
        if (m_commit) {
            runOnce(*m_commit);
            m_db = nullptr;
        } else {
            std::exchange(m_db, nullptr)->CommitTrans();
        }
    }

private:
    // A statement run for its effect alone.
    static void runOnce(PreparedQuery& q)
    {
        q.Exec();
        while (q.Next()) {
        }
    }

    CDatabase* m_db;
    PreparedQuery* m_commit;
};
