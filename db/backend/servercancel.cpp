#include "db/backend/servercancel.h"

#include "db/backend/serverhandle.h"

#include <libpq-fe.h>

ServerStatementCancel::ServerStatementCancel(const QSqlDatabase& db)
{
    if (PGconn* conn = ServerHandle(db))
        m_cancel = PQgetCancel(conn);
}

ServerStatementCancel::~ServerStatementCancel()
{
    if (m_cancel)
        PQfreeCancel(m_cancel);
}

void ServerStatementCancel::Cancel() const
{
    if (!m_cancel)
        return;
    char error[256];
    PQcancel(m_cancel, error, sizeof error);
}
