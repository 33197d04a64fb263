#pragma once

#include "db/backend/connection.h"
#include "db/location/location.h"

#include <QSqlDatabase>
#include <QString>

// A database file opened through ODBC: the data source "ZQreader" with the
// classic connection string (see connectstring.h), which the data source's
// driver reads (the Access driver on Windows).

// The connection string as Qt's ODBC driver must be given it: that driver puts
// "DSN=" in front of any string that names no DRIVER= or SERVER= itself, so
// the leading "DSN=" is left out here, else the driver manager would look for
// a source named "DSN=ZQreader". A path holding ';', '{' or '}' goes in
// braces. Throws CDBException for a path Qt would take for a file data source
// (one holding ".dsn").
QString OdbcConnectString(const QString& dbPath);

// Opens the source through Qt's ODBC driver and checks that its tables have
// the columns the program reads and writes. Throws CDBException saying why.
std::unique_ptr<Connection> OpenOdbc(const Location& location);

// Adds and opens the QODBC connection called connectionName to the file.
// Throws CDBException saying why; the connection is removed again then.
void OpenOdbcConnection(const QString& connectionName, const Location& location);
// The same for the source's path not parsed yet.
void OpenOdbcConnection(const QString& connectionName, const QString& dbPath);

// Opens a connection to the file through the data source and closes it again:
// whether this route opens anything at all, asked before a file is replaced.
// Throws CDBException naming the database as `shown`.
void ProbeOdbcConnection(const QString& dbPath, const QString& shown);

// Checks through the driver's catalog that the tables EVENTS and USERS have
// every column ZQreader reads and writes; throws CDBException naming what is
// missing.
void VerifyOdbcTables(const QSqlDatabase& db, const QString& shown);
