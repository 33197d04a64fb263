#include "cli/readlock.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

ReadLock::ReadLock(const Location& db)
{
#ifdef Q_OS_UNIX
    const QByteArray& name = db.NativeName();
    struct stat st
    {
    };
    // Opening a pipe or a device could block or act on it.
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    // flock() locks are apart from the record locks SQLite takes on the same file.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        m_busy = errno == EWOULDBLOCK;
        ::close(m_fd);
        m_fd = -1;
    }
#else
    Q_UNUSED(db);
#endif
}

ReadLock::~ReadLock()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}
