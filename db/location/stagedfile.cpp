#include "db/location/stagedfile.h"

#include "db/location/nativename.h"
#include "db/location/outputcheck.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, QByteArrayView bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray randomSuffix()
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray s(6, '\0');
    for (char& c : s)
        c = kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))];
    return s;
}

} // namespace

StagedFile::StagedFile(const QString& target) : m_target(OutputTarget(target)) {}

StagedFile::~StagedFile()
{
    Discard();
    if (!m_previous.isEmpty())
        ::unlink(m_previous.constData());
}

QByteArray StagedFile::NameBeside(const char* kind) const
{
    const qsizetype slash = m_target.lastIndexOf('/');
    return m_target.left(slash + 1) + '.' + m_target.mid(slash + 1) + kind + randomSuffix();
}

void StagedFile::SyncFolder() const
{
    // A new name is lasting once the folder is on disk too.
    const qsizetype slash = m_target.lastIndexOf('/');
    const int dir =
        ::open(slash < 0 ? "." : m_target.left(std::max<qsizetype>(slash, 1)).constData(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

bool StagedFile::Fail(int error)
{
    m_error = qt_error_string(error);
    Discard();
    return false;
}

bool StagedFile::Open()
{
    Discard();
    struct stat st;
    const bool exists = ::stat(m_target.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        m_error = QStringLiteral("not a regular file");
        return false;
    }
    if (exists && ::access(m_target.constData(), W_OK) != 0)
        return Fail(errno);

    // Longer than the target's name: a name too long for the database layer
    // fails here, before anything is replaced.
    for (int attempt = 0; m_fd < 0 && attempt < 100; ++attempt) {
        m_written = NameBeside(".");
        m_fd = ::open(m_written.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0666);
        if (m_fd < 0 && errno != EEXIST) {
            m_written.clear();
            return Fail(errno);
        }
    }
    if (m_fd < 0) {
        m_written.clear();
        return Fail(EEXIST);
    }
    // A replaced file keeps its permissions; a new one gets the usual ones.
    return !exists || ::fchmod(m_fd, st.st_mode & 07777) == 0 || Fail(errno);
}

bool StagedFile::Append(QByteArrayView bytes)
{
    if (m_fd < 0)
        return Fail(EBADF);
    return writeAll(m_fd, bytes) || Fail(errno);
}

bool StagedFile::Complete()
{
    int error = ::fsync(m_fd) == 0 ? 0 : errno;
    if (::close(m_fd) != 0 && error == 0)
        error = errno;
    m_fd = -1;
    return error == 0 || Fail(error);
}

bool StagedFile::Write(const QByteArray& bytes)
{
    return Open() && Append(bytes) && Complete();
}

QString StagedFile::WrittenName() const
{
    return DecodeFileName(m_written);
}

bool StagedFile::Commit(bool keepPrevious)
{
    if (m_written.isEmpty())
        return Fail(ENOENT);
    if (m_fd >= 0 && !Complete())
        return false;
    if (keepPrevious) {
        // A second name for what is there, so that the rename below cannot
        // take it away.
        int linked = -1;
        for (int attempt = 0; linked != 0 && attempt < 100; ++attempt) {
            m_previous = NameBeside(".previous.");
            linked = ::link(m_target.constData(), m_previous.constData());
            if (linked != 0 && errno != EEXIST)
                break;
        }
        if (linked != 0) {
            const int error = errno;
            m_previous.clear();
            if (error != ENOENT)
                return Fail(error);
        }
    }
    if (::rename(m_written.constData(), m_target.constData()) != 0) {
        const int error = errno;
        if (!m_previous.isEmpty())
            ::unlink(m_previous.constData());
        m_previous.clear();
        return Fail(error);
    }
    m_written.clear();
    m_committedKeeping = keepPrevious;
    SyncFolder();
    return true;
}

bool StagedFile::RestorePrevious()
{
    if (!m_committedKeeping)
        return false;
    m_committedKeeping = false;
    const bool restored = m_previous.isEmpty()
                              ? ::unlink(m_target.constData()) == 0
                              : ::rename(m_previous.constData(), m_target.constData()) == 0;
    if (!restored) {
        m_error = qt_error_string(errno);
        return false;
    }
    m_previous.clear();
    SyncFolder();
    return true;
}

void StagedFile::Discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_written.isEmpty())
        return;
    ::unlink(m_written.constData());
    m_written.clear();
}
