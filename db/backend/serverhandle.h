#pragma once

class QSqlDatabase;
struct pg_conn;

// The client library's connection under an open connection of the
// program's PostgreSQL driver (ServerDriver); null for any other.
pg_conn* ServerHandle(const QSqlDatabase& db);
