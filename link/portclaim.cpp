#include "link/portclaim.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>
#endif

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return PortClaim::tr("a folder");
    if (S_ISREG(mode))
        return PortClaim::tr("a file");
    if (S_ISFIFO(mode))
        return PortClaim::tr("a named pipe");
    if (S_ISSOCK(mode))
        return PortClaim::tr("a socket");
    if (S_ISBLK(mode))
        return PortClaim::tr("a block device");
    return PortClaim::tr("no device");
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

#ifdef Q_OS_LINUX
// /dev/tty (whatever terminal the program runs in), /dev/console, /dev/ptmx
// and the virtual consoles: terminals, but never a line to a receiver.
bool isTerminalOfTheMachine(dev_t device)
{
    return (major(device) == 5 && minor(device) <= 2) || (major(device) == 4 && minor(device) < 64);
}
#endif

} // namespace

PortClaim::~PortClaim()
{
    Release();
}

void PortClaim::Release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

PortClaim::Result PortClaim::Take(const QByteArray& devicePath)
{
    Release();
    m_why.clear();
    const QByteArray& path = devicePath;
    struct stat st
    {
    };
    if (::stat(path.constData(), &st) != 0) {
        m_why = systemError(errno);
        return Result::OpenFailed;
    }
    // Opening anything else could block (a named pipe) or act on it.
    if (!S_ISCHR(st.st_mode)) {
        m_why = kindOf(st.st_mode);
        return Result::NotSerial;
    }
#ifdef Q_OS_LINUX
    if (isTerminalOfTheMachine(st.st_rdev)) {
        m_why = tr("a terminal or console of this machine");
        return Result::NotSerial;
    }
#endif
    m_fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        m_why = systemError(error);
        // Another program's terminal exclusive mode.
        if (error == EBUSY)
            return Result::Held;
        // An unplugged adapter's node left behind, say.
        return error == ENXIO || error == ENODEV ? Result::Gone : Result::OpenFailed;
    }
    if (::isatty(m_fd) != 1) {
        Release();
        m_why = tr("a device that is no terminal");
        return Result::NotSerial;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            Release();
            return Result::Held;
        }
        // A device that cannot be locked at all is used unlocked, as before.
    }
    return Result::Claimed;
}
