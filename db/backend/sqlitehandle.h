#pragma once

#include <QSqlDatabase>
#include <QVariant>

class QSqlQuery;
struct sqlite3;
struct sqlite3_stmt;

// The SQLite connection under a Qt connection of the QSQLITE driver, for the
// few places where the C interface is much faster; nullptr for any other
// driver or a closed connection.
sqlite3* SqliteHandle(const QSqlDatabase& db);

// SQLite's words for a failure on the connection, or the system's where
// SQLite says only "disk I/O error": a write beyond a file size limit
// (ulimit -f) fails with "File too large", as files the program writes
// itself do.
QString SqliteFailure(sqlite3* handle, const QString& said);

// The statement under a query prepared by the QSQLITE driver; nullptr for any
// other driver, or once the driver has finalised it (its connection closed).
// The driver owns it.
sqlite3_stmt* SqliteStatement(const QSqlQuery& query);

// A column of the row statement stands on, as Qt's SQLite driver reads it.
QVariant SqliteValue(sqlite3_stmt* statement, int column);

// Turns off SQLite's count of the memory it holds: kept behind one lock for
// the whole process, it makes connections in different threads take turns
// at every allocation (a report counted on two threads took as long as on
// one). Nothing here sets a heap limit, which would need the count. Call at
// the start of main, before anything uses SQLite; later it does nothing.
void StopSqliteMemoryCount();

// Clears the upper halves of the processor's AVX registers where it has
// them. Once code has left them in use (some of what runs when Qt loads its
// database driver does), every SSE instruction after it waits on them, and
// SQLite, built for plain SSE, took 1.6 times as long to group a year of
// events. Called before each step of a walk through many rows; it costs a
// cycle.
void ClearUpperVectorState();
