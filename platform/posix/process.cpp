#include "platform/process.h"

#include "platform/posix/statusof.h"

#include <QtGlobal>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

int descriptorOf(StandardStream stream)
{
    switch (stream) {
    case StandardStream::Input:
        return STDIN_FILENO;
    case StandardStream::Output:
        return STDOUT_FILENO;
    case StandardStream::Error:
        break;
    }
    return STDERR_FILENO;
}

} // namespace

bool IsTerminal(StandardStream stream)
{
    return ::isatty(descriptorOf(stream)) == 1;
}

FileStatus StatusOf(StandardStream stream)
{
    struct stat st
    {
    };
    return StatusOrError(::fstat(descriptorOf(stream), &st), st);
}

QByteArray CurrentFolder()
{
    QByteArray cwd(4096, '\0');
    while (!::getcwd(cwd.data(), size_t(cwd.size()))) {
        if (errno != ERANGE)
            return {};
        cwd.resize(cwd.size() * 2);
    }
    cwd.truncate(static_cast<qsizetype>(qstrlen(cwd.constData())));
    return cwd;
}

QByteArray ProgramFile()
{
#ifdef Q_OS_LINUX
    QByteArray path(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), size_t(path.size()));
    if (n > 0 && n < path.size()) {
        path.truncate(n);
        return path;
    }
#endif
    return {};
}

QList<QByteArray> ProgramArguments()
{
#ifdef Q_OS_LINUX
    const int fd = ::open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray all;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        all.append(chunk, n);
    }
    ::close(fd);
    // Each argument ends in a zero byte.
    if (all.endsWith('\0'))
        all.chop(1);
    return all.split('\0');
#else
    return {};
#endif
}

void IgnoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace platform
