#include "platform/filenames.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

SystemError failureOf(int result)
{
    return result == 0 ? SystemError() : SystemError::Last();
}

} // namespace

SystemError MoveOver(const QByteArray& from, const QByteArray& to)
{
    return failureOf(::rename(from.constData(), to.constData()));
}

SystemError AddHardLink(const QByteArray& existing, const QByteArray& newName)
{
    return failureOf(::link(existing.constData(), newName.constData()));
}

SystemError AddSymbolicLink(const QByteArray& target, const QByteArray& linkName)
{
    return failureOf(::symlink(target.constData(), linkName.constData()));
}

SystemError RemoveName(const QByteArray& name)
{
    return failureOf(::unlink(name.constData()));
}

void SyncFolder(const QByteArray& folder)
{
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace platform
