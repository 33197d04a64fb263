#pragma once

#include <QString>

class Location;
class QSqlDatabase;

// The server side of CDatabase: connections to a PostgreSQL database through
// Qt's QPSQL driver. Errors are thrown as CDBException naming the server and
// the database.

// Adds and opens the connection called name. The password comes from the
// location, else from where the client library looks (PGPASSWORD, ~/.pgpass).
// On failure the connection is removed again.
void OpenServerConnection(const QString& name, const Location& location);

// Checks that the tables hold the columns the program reads and writes.
void VerifyServerSchema(const QSqlDatabase& db, const Location& location);

// Creates EVENTS and USERS in an existing database that holds neither, in one
// transaction; a database that holds either is refused, nothing changed.
void CreateServerTables(const Location& location);

// Whether the database holds neither EVENTS nor USERS: a database made for
// ZQreader whose tables are still to be created. Throws when it cannot be
// reached.
bool IsEmptyServerDatabase(const Location& location);

// Whether a failure to connect was the server asking for a password (none was
// given, or it was wrong).
bool IsPasswordFailure(const QString& error);
