#pragma once

#include <QString>

// The connection string every connection to a database file uses, built from
// the database path as it is at the time of the call.
QString BuildConnectString(const QString& dbPath);
