#pragma once

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
DbFileCheck CheckDbFile(const QString& path);

// Why path cannot be a database file although something is there (a folder,
// a FIFO, a socket, a device); empty for a regular file or nothing at all.
QString NotRegularFileMessage(const QString& path);

// Whether two paths name the same file (links and relative paths resolved).
bool SameFile(const QString& a, const QString& b);
