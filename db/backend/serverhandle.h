#pragma once

class QSqlDatabase;
struct pg_conn;

// The client library's connection under an open connection of Qt's
// PostgreSQL driver; null for any other.
pg_conn* ServerHandle(const QSqlDatabase& db);
