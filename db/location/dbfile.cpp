#include "db/location/dbfile.h"

#include "db/location/nativename.h"
#include "platform/file.h"
#include "platform/filestatus.h"

#include <QByteArray>

using platform::FileType;

namespace {

QString notRegular(const QString& shown, FileType type)
{
    const char* what = type == FileType::Folder      ? "a folder"
                       : type == FileType::NamedPipe ? "a named pipe (FIFO)"
                       : type == FileType::Socket    ? "a socket"
                       : type == FileType::CharacterDevice || type == FileType::BlockDevice
                           ? "a device"
                           : "not a regular file";
    return QStringLiteral("\"%1\" is %2, not a database file.").arg(shown, QLatin1String(what));
}

QString cannotRead(const QString& shown, const platform::SystemError& error)
{
    return QStringLiteral("The database file \"%1\" cannot be read: %2").arg(shown, error.Text());
}

// The file by its native bytes, named in messages as shown.
DbFileCheck checkDbFile(const QByteArray& name, const QString& shown)
{
    const platform::FileStatus named = platform::StatusOf(name);
    if (name.isEmpty() || !named.Exists()) {
        if (name.isEmpty() || named.error.IsMissing())
            return {DbFileKind::Missing,
                    QStringLiteral("The database file \"%1\" does not exist.").arg(shown)};
        return {DbFileKind::Unreadable, cannotRead(shown, named.error)};
    }
    if (named.type != FileType::Regular)
        return {DbFileKind::NotDatabase, notRegular(shown, named.type)};

    // Not blocking either if something else has been put there since.
    platform::File file;
    if (!file.OpenToRead(name))
        return {DbFileKind::Unreadable, cannotRead(shown, file.Error())};
    const platform::FileStatus opened = file.Status();
    if (opened.type != FileType::Regular)
        return {DbFileKind::NotDatabase, notRegular(shown, opened.type)};
    QByteArray head(32, '\0');
    const qint64 n = file.Read(head.data(), head.size());
    if (n < 0)
        return {DbFileKind::Unreadable, cannotRead(shown, file.Error())};
    file.Close();
    head.truncate(n);

    if (head.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return {DbFileKind::Sqlite, {}};
    // Access files carry their engine's name at offset 4.
    const QByteArray engine = head.mid(4, 15);
    if (engine == "Standard Jet DB" || engine == "Standard ACE DB")
        return {DbFileKind::Access,
                QStringLiteral("\"%1\" is an Access database. Convert it into a ZQreader database "
                               "(zqreader-cli import, or Open Database in the desktop program), or "
                               "open it through ODBC as odbc:PATH where an Access driver is "
                               "installed.")
                    .arg(shown)};
    if (head.isEmpty())
        return {DbFileKind::NotDatabase,
                QStringLiteral("\"%1\" is empty, not a ZQreader database.").arg(shown)};
    return {DbFileKind::NotDatabase,
            QStringLiteral("\"%1\" is not a ZQreader database.").arg(shown)};
}

} // namespace

DbFileCheck CheckDbFile(const QString& path)
{
    return checkDbFile(EncodeFileName(path), ShownFileName(path));
}

DbFileCheck CheckDbFile(const Location& location)
{
    return checkDbFile(location.NativeName(), location.Shown());
}

QString NotRegularFileMessage(const Location& location)
{
    const QByteArray& name = location.NativeName();
    if (name.isEmpty())
        return {};
    const platform::FileStatus status = platform::StatusOf(name);
    if (!status.Exists() || status.type == FileType::Regular)
        return {};
    return notRegular(location.Shown(), status.type);
}

bool SameFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QByteArray ra = platform::ResolvedPath(EncodeFileName(a)),
                     rb = platform::ResolvedPath(EncodeFileName(b));
    if (!ra.isEmpty() && !rb.isEmpty())
        return ra == rb;
    return AbsoluteFileName(a) == AbsoluteFileName(b);
}

QString NotRegularFileMessage(const QString& path)
{
    return NotRegularFileMessage(Location::FromFile(path));
}

bool SameFile(const Location& a, const Location& b)
{
    if (!a.IsFile() || !b.IsFile())
        return false;
    const QByteArray ra = platform::ResolvedPath(a.NativeName()),
                     rb = platform::ResolvedPath(b.NativeName());
    if (!ra.isEmpty() && !rb.isEmpty())
        return ra == rb;
    return a.Path() == b.Path();
}
