#pragma once

// Stand-ins for the mdbtools programs that print exactly what the real ones
// print for an Access file holding ZQreader's two tables (no tool here can
// write Access files), and such a file's first bytes.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace fakemdb {

inline bool writeFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return false;
    f.close();
    return !executable || f.setPermissions(f.permissions() | QFile::ExeOwner);
}

// The programs in folder; users and events are mdb-export's rows (shell
// printf text). tables is what mdb-tables lists.
inline bool writeTools(const QString& folder, const QByteArray& users, const QByteArray& events,
                       const QByteArray& tables = "USERS\\nEVENTS\\n")
{
    // Each fails, as the real ones do, when no argument names a file.
    const QByteArray start = "#!/bin/sh\nfor a; do [ -f \"$a\" ] && found=1; done\n"
                             "[ \"$found\" ] || { echo \"no file among: $*\" >&2; exit 1; }\n";
    return writeFile(folder + "/mdb-tables", start + "printf '" + tables + "'\n", true) &&
           writeFile(folder + "/mdb-count", start + "echo -1\n", true) &&
           writeFile(
               folder + "/mdb-schema",
               start +
                   "case \"$*\" in\n"
                   "*'-T EVENTS'*) printf 'CREATE TABLE [EVENTS]\\n (\\n\\t[INDEX]\\t\\t\\tLong "
                   "Integer, \\n\\t[TIMER]\\t\\t\\tLong Integer, \\n\\t[DATE]\\t\\t\\tDateTime, "
                   "\\n\\t[USER_NO]\\t\\t\\tInteger, \\n\\t[BUTTON]\\t\\t\\tText (255)\\n);\\n' "
                   ";;\n"
                   "*) printf 'CREATE TABLE [USERS]\\n (\\n\\t[INDEX]\\t\\t\\tLong Integer, "
                   "\\n\\t[NAME]\\t\\t\\tText (50), \\n\\t[USER_NO]\\t\\t\\tInteger, "
                   "\\n\\t[DATE_START]\\t\\t\\tDateTime, \\n\\t[DATE_STOP]\\t\\t\\tDateTime\\n);"
                   "\\n' ;;\nesac\n",
               true) &&
           writeFile(folder + "/mdb-export",
                     start + "case \"$*\" in\n*EVENTS) printf '" + events + "' ;;\n*) printf '" +
                         users + "' ;;\nesac\n",
                     true);
}

// The first bytes by which a file is recognised as an Access database.
inline QByteArray accessFileBytes()
{
    return QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(4076, '\0');
}

inline bool writeAccessFile(const QString& path)
{
    return writeFile(path, accessFileBytes());
}

} // namespace fakemdb
