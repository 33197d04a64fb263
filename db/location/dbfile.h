#pragma once

#include "db/location/location.h"

#include <QString>

// What kind of file a database path names, judged by its first bytes.
enum class DbFileKind
{
    Missing,
    Unreadable,
    Sqlite,
    Access,
    NotDatabase,
};

struct DbFileCheck
{
    DbFileKind kind;
    QString message; // for anything but Sqlite: why it cannot be opened
};

// Never blocks: folders, FIFOs, sockets and devices are refused without
// reading them. Paths may hold bytes that are not UTF-8 (see nativename.h).
DbFileCheck CheckDbFile(const Location& location);
DbFileCheck CheckDbFile(const QString& path); // a path not parsed yet, named as given

// Why the location cannot be a database file although something is there (a
// folder, a FIFO, a socket, a device); empty for a regular file or nothing at all.
QString NotRegularFileMessage(const Location& location);
QString NotRegularFileMessage(const QString& path);

// Whether two file locations name the same file (links resolved); false when
// either is no file.
bool SameFile(const Location& a, const Location& b);
// The same for names not parsed yet (relative paths resolved); two names that
// are no files are the same when they read the same.
bool SameFile(const QString& a, const QString& b);
