#pragma once

#include "db/backend/dbexception.h"

struct pg_conn;
struct pg_result;

// The kind of failure a SQLSTATE names (PostgreSQL's own code of an error,
// the same in every language the server speaks).
DbFailure PgFailureKind(const char* sqlstate);

// A connection that could not be made: the client library's words, and the
// kind told by its state (a password wanted and none given, one given and the
// connection still refused, else the server not reached).
CDBException ConnectFailure(pg_conn* conn);

// A statement that failed: the server's words, and the kind told by its
// SQLSTATE, or a lost connection when the connection is broken.
CDBException StatementFailure(pg_conn* conn, const pg_result* result);
