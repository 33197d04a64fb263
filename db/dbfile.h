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

DbFileCheck CheckDbFile(const QString& path);

// Whether two paths name the same file (links and relative paths resolved).
bool SameFile(const QString& a, const QString& b);
