#pragma once

#include "db/location/location.h"

// Keeps a second read from running into the same database while one is under
// way: an exclusive lock on the database file itself, taken without waiting
// and held until this object goes. The lock does not stop SQLite or any
// other program, only other reads that take it too. Where the file is not a
// regular file, or cannot be opened, no lock is taken and the database's own
// checks report the fault.
class ReadLock
{
public:
    explicit ReadLock(const Location& db);
    ~ReadLock();
    ReadLock(const ReadLock&) = delete;
    ReadLock& operator=(const ReadLock&) = delete;

    // Another read holds the lock.
    bool Busy() const { return m_busy; }

private:
    int m_fd = -1;
    bool m_busy = false;
};
