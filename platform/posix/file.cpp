#include "platform/file.h"

#include "platform/posix/statusof.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

File::~File()
{
    Close();
}

File::File(File&& other) noexcept
    : m_handle(std::exchange(other.m_handle, -1)), m_error(other.m_error)
{
}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, -1);
        m_error = other.m_error;
    }
    return *this;
}

bool File::Opened(qintptr handle)
{
    Close();
    m_handle = handle;
    m_error = handle < 0 ? SystemError::Last() : SystemError();
    return handle >= 0;
}

bool File::OpenToRead(const QByteArray& name)
{
    return Opened(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

bool File::OpenDevice(const QByteArray& name)
{
    return Opened(::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
}

bool File::CreateNew(const QByteArray& name)
{
    return Opened(
        ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
}

bool File::Close()
{
    if (m_handle < 0)
        return true;
    const bool closed = ::close(int(m_handle)) == 0;
    if (!closed)
        m_error = SystemError::Last();
    m_handle = -1;
    return closed;
}

FileStatus File::Status() const
{
    struct stat st
    {
    };
    return StatusOrError(::fstat(int(m_handle), &st), st);
}

bool File::IsTerminal() const
{
    return ::isatty(int(m_handle)) == 1;
}

qint64 File::Read(char* into, qint64 most)
{
    ssize_t n;
    do
        n = ::read(int(m_handle), into, size_t(most));
    while (n < 0 && errno == EINTR);
    if (n < 0)
        m_error = SystemError::Last();
    return n;
}

bool File::WriteAll(QByteArrayView bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n =
            ::write(int(m_handle), bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_error = SystemError::Last();
            return false;
        }
        done += n;
    }
    return true;
}

bool File::Sync()
{
    if (::fsync(int(m_handle)) == 0)
        return true;
    m_error = SystemError::Last();
    return false;
}

bool File::SetPermissions(quint32 permissions)
{
    if (::fchmod(int(m_handle), mode_t(permissions & 07777)) == 0)
        return true;
    m_error = SystemError::Last();
    return false;
}

// flock() locks are apart from the record locks (fcntl) SQLite takes.
File::Lock File::TryLock()
{
    if (::flock(int(m_handle), LOCK_EX | LOCK_NB) == 0)
        return Lock::Taken;
    m_error = SystemError::Last();
    return m_error.Is(std::errc::operation_would_block) ? Lock::Busy : Lock::Failed;
}

void File::Unlock()
{
    if (m_handle >= 0)
        ::flock(int(m_handle), LOCK_UN);
}

} // namespace platform
