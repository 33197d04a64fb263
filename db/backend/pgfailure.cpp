#include "db/backend/pgfailure.h"

#include <libpq-fe.h>

DbFailure PgFailureKind(const char* sqlstate)
{
    static const struct
    {
        const char* code;
        DbFailure kind;
    } kCodes[] = {
        {"28P01", DbFailure::PasswordRefused}, // invalid_password
        {"28000", DbFailure::PasswordRefused}, // the role may not log in this way
        {"3D000", DbFailure::NoDatabase},      // invalid_catalog_name
        {"42501", DbFailure::Denied},          // insufficient_privilege
        {"57P01", DbFailure::ConnectionLost},  // admin_shutdown
        {"57P02", DbFailure::ConnectionLost},  // crash_shutdown
        {"57P03", DbFailure::ConnectionLost},  // cannot_connect_now
        {"57014", DbFailure::Cancelled},       // query_canceled
        {"40P01", DbFailure::Locked},          // deadlock_detected
        {"55P03", DbFailure::Locked},          // lock_not_available
        {"53100", DbFailure::DiskFull},        // disk_full
        {"25006", DbFailure::ReadOnly},        // read_only_sql_transaction
    };
    if (!sqlstate || qstrlen(sqlstate) != 5)
        return DbFailure::Other;
    // Class 08: connection exceptions.
    if (sqlstate[0] == '0' && sqlstate[1] == '8')
        return DbFailure::ConnectionLost;
    for (const auto& c : kCodes) {
        if (qstrcmp(sqlstate, c.code) == 0)
            return c.kind;
    }
    return DbFailure::Other;
}

CDBException ConnectFailure(pg_conn* conn)
{
    DbFailure kind = DbFailure::Unreachable;
    if (PQconnectionNeedsPassword(conn))
        kind = DbFailure::PasswordNeeded;
    else if (PQconnectionUsedPassword(conn))
        kind = DbFailure::PasswordRefused;
    return CDBException(QString::fromUtf8(PQerrorMessage(conn)), kind);
}

CDBException StatementFailure(pg_conn* conn, const pg_result* result)
{
    QString text = result ? QString::fromUtf8(PQresultErrorMessage(result)).trimmed() : QString();
    if (text.isEmpty())
        text = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    if (PQstatus(conn) == CONNECTION_BAD)
        return CDBException(text, DbFailure::ConnectionLost);
    return CDBException(
        text, PgFailureKind(result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr));
}
