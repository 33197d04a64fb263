#include "db/location/dbfile.h"

#include "db/location/nativename.h"

#include <QByteArray>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString notRegular(const QString& shown, mode_t mode)
{
    const char* what = S_ISDIR(mode)                    ? "a folder"
                       : S_ISFIFO(mode)                 ? "a named pipe (FIFO)"
                       : S_ISSOCK(mode)                 ? "a socket"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                        : "not a regular file";
    return QStringLiteral("\"%1\" is %2, not a database file.").arg(shown, QLatin1String(what));
}

QString cannotRead(const QString& shown, int error)
{
    return QStringLiteral("The database file \"%1\" cannot be read: %2")
        .arg(shown, qt_error_string(error));
}

// The path with every link resolved; empty when it does not exist.
QByteArray resolved(const QByteArray& name)
{
    char buffer[PATH_MAX];
    return ::realpath(name.constData(), buffer) ? QByteArray(buffer) : QByteArray();
}

// The file by its native bytes, named in messages as shown.
DbFileCheck checkDbFile(const QByteArray& name, const QString& shown)
{
    struct stat st;
    if (name.isEmpty() || ::stat(name.constData(), &st) != 0) {
        if (name.isEmpty() || errno == ENOENT || errno == ENOTDIR)
            return {DbFileKind::Missing,
                    QStringLiteral("The database file \"%1\" does not exist.").arg(shown)};
        return {DbFileKind::Unreadable, cannotRead(shown, errno)};
    }
    if (!S_ISREG(st.st_mode))
        return {DbFileKind::NotDatabase, notRegular(shown, st.st_mode)};

    // Not blocking either if something else has been put there since.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {DbFileKind::Unreadable, cannotRead(shown, errno)};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {DbFileKind::NotDatabase, notRegular(shown, st.st_mode)};
    }
    QByteArray head(32, '\0');
    ssize_t n;
    do
        n = ::read(fd, head.data(), head.size());
    while (n < 0 && errno == EINTR);
    const int readError = errno;
    ::close(fd);
    if (n < 0)
        return {DbFileKind::Unreadable, cannotRead(shown, readError)};
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
    struct stat st;
    if (name.isEmpty() || ::stat(name.constData(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    return notRegular(location.Shown(), st.st_mode);
}

bool SameFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QByteArray ra = resolved(EncodeFileName(a)), rb = resolved(EncodeFileName(b));
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
    const QByteArray ra = resolved(a.NativeName()), rb = resolved(b.NativeName());
    if (!ra.isEmpty() && !rb.isEmpty())
        return ra == rb;
    return a.Path() == b.Path();
}
