#include "platform/serialline.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>
#endif

namespace platform {

struct SavedLineSettings::Found
{
    termios line{};
};

SavedLineSettings::SavedLineSettings(const QByteArray& devicePath)
{
    if (devicePath.isEmpty())
        return;
    m_device = ::open(devicePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    auto found = std::make_unique<Found>();
    if (m_device >= 0 && ::tcgetattr(int(m_device), &found->line) == 0)
        m_found = std::move(found);
}

SavedLineSettings::~SavedLineSettings()
{
    Release();
}

void SavedLineSettings::Release()
{
    if (m_device >= 0)
        ::close(int(m_device));
    m_device = -1;
}

bool SavedLineSettings::MakeRaw(qintptr port) const
{
    const int fd = int(port);
    termios line{};
    if (m_found)
        line = m_found->line;
    else if (::tcgetattr(fd, &line) != 0)
        return false;
    const tcflag_t keep = line.c_cflag & (CRTSCTS | HUPCL);
    ::cfmakeraw(&line);
    line.c_iflag = 0;
    line.c_oflag = 0;
    line.c_lflag = 0;
    line.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    line.c_cflag |= CS8 | CREAD | CLOCAL | keep;
#ifdef CMSPAR
    line.c_cflag &= ~tcflag_t(CMSPAR);
#endif
    // Reads never wait: the port is polled.
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    ::cfsetispeed(&line, B9600);
    ::cfsetospeed(&line, B9600);
    return ::tcsetattr(fd, TCSANOW, &line) == 0;
}

bool SavedLineSettings::Restore(qintptr port) const
{
    return m_found && ::tcsetattr(int(port), TCSANOW, &m_found->line) == 0;
}

bool IsTerminalOfTheMachine(const FileStatus& device)
{
#ifdef Q_OS_LINUX
    // /dev/tty (whatever terminal the program runs in), /dev/console,
    // /dev/ptmx and the virtual consoles.
    const dev_t number = dev_t(device.device);
    return device.type == FileType::CharacterDevice &&
           ((major(number) == 5 && minor(number) <= 2) ||
            (major(number) == 4 && minor(number) < 64));
#else
    Q_UNUSED(device);
    return false;
#endif
}

bool IsLineBroken(qintptr port)
{
    // Without waiting: a device that is gone reports a hang-up or an error.
    pollfd p{int(port), POLLOUT, 0};
    return ::poll(&p, 1, 0) < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

bool IsOutputDrained(qintptr port)
{
#ifdef TIOCOUTQ
    int queued = 0;
    if (::ioctl(int(port), TIOCOUTQ, &queued) == 0)
        return queued == 0;
#else
    Q_UNUSED(port);
#endif
    return true;
}

} // namespace platform
