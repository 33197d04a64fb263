#pragma once

#include "db/location/location.h"
#include "platform/file.h"

#include <vector>

// Keeps a second read from running into the same database file while one is
// under way, whichever program runs it (the desktop's Read events and
// zqreader-cli read take it alike): an exclusive lock on the database file
// itself (platform::File::TryLock()), tried without waiting. It does not stop
// SQLite or any other program, only other reads that take it too. Where the
// location is not a regular file (a server, a missing file), no lock applies
// and the database's own checks report the fault.
//
// The file stays open from construction to destruction, locked or not: on a
// POSIX system closing any descriptor of a file drops every record lock the
// process holds on that file, SQLite's among them. So the owner keeps this
// object until every connection of the process to the file is closed.
class FileReadLock
{
public:
    explicit FileReadLock(const Location& db);
    ~FileReadLock();
    FileReadLock(const FileReadLock&) = delete;
    FileReadLock& operator=(const FileReadLock&) = delete;

    enum class Try
    {
        Taken,
        Busy,          // another read holds it
        NotApplicable, // no regular file to lock
    };
    // Takes the lock without waiting. A file put in place of the one opened
    // (a new database made under the same name) is locked itself.
    Try TryLock();
    // Gives the lock up; the file stays open.
    void Unlock();

private:
    QByteArray m_name;
    platform::File m_file;
    bool m_locked = false;
    // Files since replaced under the name; closed last.
    std::vector<platform::File> m_stale;
};
