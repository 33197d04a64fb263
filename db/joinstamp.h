#pragma once

#include "db/record/preparedquery.h"

#include <QByteArray>
#include <QString>

class CDatabase;

// What the database held when the rows of the joined event set were counted,
// and what has changed in it since, told cheaply.
//
// The joined rows of an event depend only on that event and on USERS, so rows
// counted earlier stay where they were as long as USERS is the same and the
// events up to the newest one counted are still the same events: then only
// appends happened. Edits in place of an event's values are not seen.
enum class JoinChange
{
    None,     // the counted rows are as they were, and nothing was appended
    Appended, // the counted rows are as they were, events came after them
    Other,    // anything else: the rows must be counted from the start
};

struct JoinStamp
{
    // The file as this connection sees it; equal values mean that nobody has
    // written since.
    QString connection;
    qint64 dataVersion = -1; // commits by other connections
    qint64 ownChanges = -1;  // rows written through this connection
    // The file's change counter (see commitcounter.h), -1 when it is not
    // known; read only inside a transaction.
    qint64 fileCounter = -1;
    QByteArray file;

    // What the joined rows depend on.
    QByteArray usersDigest; // of every USERS row
    qint64 eventCount = 0;
    qint64 lastEvent = 0; // the largest EVENTS INDEX, 0 when there is none

    bool IsValid() const { return !connection.isEmpty(); }

    // Reads everything now. To describe a count, take it inside the read
    // transaction of that count.
    static JoinStamp Take(const CDatabase& db, PreparedQuery* version = nullptr);

    // What has changed in db since this stamp was taken; *now receives the
    // stamp of db as it is. db may be another connection to the same file than
    // the one the stamp was taken on. Reads only a few numbers when nobody has
    // written or when every commit since was one of this process's own
    // appends; otherwise it compares the tables' contents.
    JoinChange ChangeSince(const CDatabase& db, JoinStamp* now,
                           PreparedQuery* version = nullptr) const;

    // The statement that reads those few numbers, for a caller that checks
    // often to keep prepared on db's connection and pass to Take() and
    // ChangeSince() there; not prepared where db has no such numbers.
    static PreparedQuery VersionQuery(const CDatabase& db);

    // How often ChangeSince had to compare the contents, in this process.
    static quint64 FullChecks();
};
