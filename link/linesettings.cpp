#include "link/linesettings.h"

#include <fcntl.h>
#include <unistd.h>

SavedLineSettings::SavedLineSettings(const QByteArray& devicePath)
{
    if (devicePath.isEmpty())
        return;
    m_fd = ::open(devicePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    m_valid = m_fd >= 0 && ::tcgetattr(m_fd, &m_found) == 0;
}

SavedLineSettings::~SavedLineSettings()
{
    Release();
}

void SavedLineSettings::Release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool SavedLineSettings::MakeRaw(int fd) const
{
    termios line{};
    if (m_valid)
        line = m_found;
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

bool SavedLineSettings::Restore(int fd) const
{
    return m_valid && ::tcsetattr(fd, TCSANOW, &m_found) == 0;
}
