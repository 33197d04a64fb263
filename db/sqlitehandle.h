#pragma once

#include <QSqlDatabase>

struct sqlite3;

// The SQLite connection under a Qt connection of the QSQLITE driver, for the
// few places where the C interface is much faster; nullptr for any other
// driver or a closed connection.
sqlite3* SqliteHandle(const QSqlDatabase& db);
