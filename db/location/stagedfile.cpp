#include "db/location/stagedfile.h"

#include "db/location/nativename.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const QByteArray& bytes)
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

StagedFile::StagedFile(const QString& target) : m_target(EncodeFileName(target))
{
    struct stat st;
    if (::lstat(m_target.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char buffer[PATH_MAX];
        if (::realpath(m_target.constData(), buffer))
            m_target = buffer;
    }
}

StagedFile::~StagedFile()
{
    Discard();
}

bool StagedFile::Fail(int error)
{
    m_error = qt_error_string(error);
    Discard();
    return false;
}

bool StagedFile::Write(const QByteArray& bytes)
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

    const qsizetype slash = m_target.lastIndexOf('/');
    const QByteArray folder = m_target.left(slash + 1);
    // Longer than the target's name: a name too long for the database layer
    // fails here, before anything is replaced.
    const QByteArray base = m_target.mid(slash + 1);
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        m_written = folder + '.' + base + '.' + randomSuffix();
        fd = ::open(m_written.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
        if (fd < 0 && errno != EEXIST) {
            m_written.clear();
            return Fail(errno);
        }
    }
    if (fd < 0) {
        m_written.clear();
        return Fail(EEXIST);
    }
    // A replaced file keeps its permissions; a new one gets the usual ones.
    int error = 0;
    if ((exists && ::fchmod(fd, st.st_mode & 07777) != 0) || !writeAll(fd, bytes) ||
        ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error == 0 || Fail(error);
}

QString StagedFile::WrittenName() const
{
    return DecodeFileName(m_written);
}

bool StagedFile::Commit()
{
    if (m_written.isEmpty())
        return Fail(ENOENT);
    if (::rename(m_written.constData(), m_target.constData()) != 0)
        return Fail(errno);
    m_written.clear();
    // The new name is lasting once the folder is on disk too.
    const qsizetype slash = m_target.lastIndexOf('/');
    const int dir =
        ::open(slash < 0 ? "." : m_target.left(std::max<qsizetype>(slash, 1)).constData(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void StagedFile::Discard()
{
    if (m_written.isEmpty())
        return;
    ::unlink(m_written.constData());
    m_written.clear();
}
