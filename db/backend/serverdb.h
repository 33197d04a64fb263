#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

class Connection;
class Location;
class PgConnection;

// Called with the connection as soon as the server took it, before anything
// runs on it: what may have to stop its statements from another thread is
// taken from it here.
using ServerConnected = std::function<void(Connection&)>;

// The server side of CDatabase: connections to a PostgreSQL database
// (PgConnection). Errors are thrown as CDBException naming the server and
// the database, with the kind of failure set.

// Opens a connection and makes its settings. The password comes from the
// location, else from where the client library looks (PGPASSWORD, ~/.pgpass).
std::unique_ptr<PgConnection> OpenServerConnection(const Location& location);

// The same, and checks that the tables hold the columns the program reads
// and writes and that the user may read them, all in the round trip that
// makes the connection's settings.
std::unique_ptr<PgConnection> OpenServerDatabase(const Location& location,
                                                 const ServerConnected& connected = {});

// How long the client library took to open the last connection this thread
// opened (the connection alone, without the settings), for the benchmarks.
qint64 LastServerOpenNanoseconds();

// Creates EVENTS and USERS in an existing database that holds neither, in one
// transaction; a database that holds either is refused, nothing changed.
void CreateServerTables(const Location& location);

// Whether the database holds neither EVENTS nor USERS: a database made for
// ZQreader whose tables are still to be created. Throws when it cannot be
// reached.
bool IsEmptyServerDatabase(const Location& location);
