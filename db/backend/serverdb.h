#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

class Location;
class QSqlDatabase;

// Called with the connection as soon as the server took it, before anything
// runs on it: what may have to stop its statements from another thread is
// taken from it here.
using ServerConnected = std::function<void(const QSqlDatabase&)>;

// The server side of CDatabase: connections to a PostgreSQL database through
// the program's own driver (ServerDriver). Errors are thrown as CDBException
// naming the server and the database.

// Adds and opens the connection called name. The password comes from the
// location, else from where the client library looks (PGPASSWORD, ~/.pgpass).
// On failure the connection is removed again.
void OpenServerConnection(const QString& name, const Location& location);

// The same, and checks that the tables hold the columns the program reads
// and writes and that the user may read them, all in the round trip that
// makes the connection's settings.
void OpenServerDatabase(const QString& name, const Location& location,
                        const ServerConnected& connected = {});

// How long the driver took to open the last connection this thread opened
// (the connection and the driver's own statements), for the benchmarks.
qint64 LastServerOpenNanoseconds();

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
