#include "platform/filestatus.h"

#include "platform/posix/statusof.h"

#include <climits>
#include <cstdlib>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileStatus StatusFrom(const struct stat& st)
{
    FileStatus status;
    const mode_t mode = st.st_mode;
    status.type = S_ISREG(mode)    ? FileType::Regular
                  : S_ISDIR(mode)  ? FileType::Folder
                  : S_ISFIFO(mode) ? FileType::NamedPipe
                  : S_ISSOCK(mode) ? FileType::Socket
                  : S_ISCHR(mode)  ? FileType::CharacterDevice
                  : S_ISBLK(mode)  ? FileType::BlockDevice
                  : S_ISLNK(mode)  ? FileType::SymbolicLink
                                   : FileType::Other;
    status.permissions = mode & 07777;
    status.volume = st.st_dev;
    status.file = st.st_ino;
    status.device = st.st_rdev;
    return status;
}

FileStatus StatusOrError(int result, const struct stat& st)
{
    if (result == 0)
        return StatusFrom(st);
    FileStatus failed;
    failed.error = SystemError::Last();
    return failed;
}

FileStatus StatusOf(const QByteArray& name)
{
    struct stat st
    {
    };
    return StatusOrError(::stat(name.constData(), &st), st);
}

FileStatus LinkStatusOf(const QByteArray& name)
{
    struct stat st
    {
    };
    return StatusOrError(::lstat(name.constData(), &st), st);
}

QByteArray ResolvedPath(const QByteArray& name)
{
    char buffer[PATH_MAX];
    return ::realpath(name.constData(), buffer) ? QByteArray(buffer) : QByteArray();
}

QByteArray LinkTarget(const QByteArray& name)
{
    QByteArray to(PATH_MAX, '\0');
    const ssize_t n = ::readlink(name.constData(), to.data(), size_t(to.size()));
    if (n <= 0)
        return {};
    to.truncate(n);
    return to;
}

SystemError WriteAccess(const QByteArray& name)
{
    return ::access(name.constData(), W_OK) == 0 ? SystemError() : SystemError::Last();
}

SystemError ReadWriteAccess(const QByteArray& name)
{
    return ::access(name.constData(), R_OK | W_OK) == 0 ? SystemError() : SystemError::Last();
}

QString OwningGroupName(const QByteArray& name)
{
    struct stat st
    {
    };
    if (::stat(name.constData(), &st) != 0)
        return {};
    const struct group* g = ::getgrgid(st.st_gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString();
}

bool IsNullDevice(const QByteArray& name)
{
    const FileStatus target = StatusOf(name);
    const FileStatus null = StatusOf("/dev/null");
    return target.Exists() && target.type == FileType::CharacterDevice && null.Exists() &&
           null.type == FileType::CharacterDevice && target.device == null.device;
}

} // namespace platform
