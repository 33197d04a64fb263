#pragma once

#include <QString>

class CDatabase;

// A server's report runs in one read-only transaction: the groups and the
// hand-overs counted again come from one state of the database, also while
// a download adds events. It may group a year of days and users in memory,
// where the server's default leaves a few megabytes and spills the rest to
// disk. A second connection takes the same state through the snapshot the
// first one exports. Throws CDBException.
class ServerSnapshot
{
public:
    // Begins the transaction; with a snapshot, in that state of the database.
    ServerSnapshot(CDatabase& db, const QString& snapshot);
    ~ServerSnapshot(); // rolls back: nothing was written
    ServerSnapshot(const ServerSnapshot&) = delete;
    ServerSnapshot& operator=(const ServerSnapshot&) = delete;

    // The name under which another connection takes this state; empty when
    // the server keeps none for others (the transaction is then begun again).
    QString Export();

private:
    void begin(const QString& snapshot);

    CDatabase& m_db;
};
