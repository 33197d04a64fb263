#include "db/location/readlock.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// A descriptor of the regular file at name, or -1. Opening a pipe or a device
// could block or act on it.
int openRegular(const QByteArray& name)
{
    struct stat st
    {
    };
    if (name.isEmpty() || ::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sameFile(int fd, const QByteArray& name)
{
    struct stat open
    {
    };
    struct stat named
    {
    };
    return ::fstat(fd, &open) == 0 && ::stat(name.constData(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}
#endif

} // namespace

FileReadLock::FileReadLock(const Location& db) : m_name(db.File().NativeName())
{
#ifdef Q_OS_UNIX
    m_fd = openRegular(m_name);
#endif
}

FileReadLock::~FileReadLock()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd);
    for (const int fd : m_stale)
        ::close(fd);
#endif
}

FileReadLock::Try FileReadLock::TryLock()
{
#ifdef Q_OS_UNIX
    if (m_locked)
        return Try::Taken;
    if (m_fd >= 0 && !sameFile(m_fd, m_name)) {
        m_stale.push_back(m_fd);
        m_fd = -1;
    }
    if (m_fd < 0)
        m_fd = openRegular(m_name);
    if (m_fd < 0)
        return Try::NotApplicable;
    // flock() locks are apart from the record locks SQLite takes on the file.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? Try::Busy : Try::NotApplicable;
    m_locked = true;
    return Try::Taken;
#else
    return Try::NotApplicable;
#endif
}

void FileReadLock::Unlock()
{
#ifdef Q_OS_UNIX
    if (m_locked && m_fd >= 0)
        ::flock(m_fd, LOCK_UN);
#endif
    m_locked = false;
}
