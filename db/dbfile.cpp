#include "db/dbfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

DbFileCheck CheckDbFile(const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return {DbFileKind::Missing,
                QStringLiteral("The database file \"%1\" does not exist.").arg(shown)};
    if (info.isDir())
        return {DbFileKind::NotDatabase,
                QStringLiteral("\"%1\" is a folder, not a database file.").arg(shown)};

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {DbFileKind::Unreadable,
                QStringLiteral("The database file \"%1\" cannot be read: %2")
                    .arg(shown, file.errorString())};
    const QByteArray head = file.read(32);

    if (head.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return {DbFileKind::Sqlite, {}};
    // Access files carry their engine's name at offset 4.
    const QByteArray engine = head.mid(4, 15);
    if (engine == "Standard Jet DB" || engine == "Standard ACE DB")
        return {DbFileKind::Access,
                QStringLiteral("\"%1\" is an Access database. Access databases are opened through "
                               "an ODBC data source, which this version cannot use yet.")
                    .arg(shown)};
    if (head.isEmpty())
        return {DbFileKind::NotDatabase,
                QStringLiteral("\"%1\" is empty, not a ZQreader database.").arg(shown)};
    return {DbFileKind::NotDatabase,
            QStringLiteral("\"%1\" is not a ZQreader database.").arg(shown)};
}

bool SameFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QFileInfo fa(a), fb(b);
    const QString ca = fa.canonicalFilePath(), cb = fb.canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}
