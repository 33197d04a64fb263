#include "db/location/boundedread.h"

#include "db/location/nativename.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString kindOf(mode_t mode)
{
    return QLatin1String(S_ISDIR(mode)                    ? "a folder"
                         : S_ISFIFO(mode)                 ? "a named pipe (FIFO)"
                         : S_ISSOCK(mode)                 ? "a socket"
                         : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                          : "something else");
}

QString size(qint64 bytes)
{
    constexpr qint64 kMiB = qint64{1024} * 1024;
    return bytes % kMiB == 0 ? QStringLiteral("%1 MiB").arg(bytes / kMiB)
                             : QStringLiteral("%1 bytes").arg(bytes);
}

} // namespace

BoundedRead ReadBoundedFile(const QString& name, qint64 maxBytes, qint64 maxLine)
{
    const QString shown = ShownFileName(name);
    auto fail = [&](const QString& why) {
        return BoundedRead{{}, QStringLiteral("Cannot read \"%1\": %2").arg(shown, why)};
    };
    // Not blocking on a FIFO: what was opened is looked at before any read.
    const int fd =
        ::open(EncodeFileName(name).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(qt_error_string(errno));
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        ::close(fd);
        return fail(st.st_mode != 0
                        ? QStringLiteral("it is %1, not a regular file.").arg(kindOf(st.st_mode))
                        : qt_error_string(error));
    }
    // The file may grow while it is read: the limits hold for what is read.
    BoundedRead read;
    qint64 line = 1;
    qint64 length = 0; // of the line so far
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        QString why;
        if (n < 0)
            why = qt_error_string(errno);
        for (ssize_t i = 0; i < n && why.isEmpty(); ++i) {
            if (chunk[i] == '\n') {
                ++line;
                length = 0;
            } else if (++length > maxLine) {
                why = QStringLiteral("line %1 is longer than %2.").arg(line).arg(size(maxLine));
            }
        }
        if (why.isEmpty() && read.bytes.size() + n > maxBytes)
            why = QStringLiteral("it is longer than %1.").arg(size(maxBytes));
        if (!why.isEmpty()) {
            ::close(fd);
            return fail(why);
        }
        if (n == 0)
            break;
        read.bytes.append(chunk, n);
    }
    ::close(fd);
    return read;
}
