// The ends of the simulator's line: a pseudo-terminal (and a symbolic link to
// it), or a TCP port one host at a time.

#include "ptyloop.h"
#include "ptysupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace zqsim {

bool PtyLoop::listen(const QString& hostPort, QString* error)
{
    const qsizetype colon = hostPort.lastIndexOf(QLatin1Char(':'));
    QString host = hostPort.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    const QString port = hostPort.mid(colon + 1);
    if (colon < 0 || host.isEmpty() || port.isEmpty()) {
        *error = QCoreApplication::translate("PtyLoop", "'%1' is not HOST:PORT").arg(hostPort);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const int looked =
        ::getaddrinfo(host.toLocal8Bit().constData(), port.toLatin1().constData(), &hints, &found);
    if (looked != 0) {
        *error =
            QStringLiteral("%1: %2").arg(hostPort, QString::fromLocal8Bit(::gai_strerror(looked)));
        return false;
    }
    m_listen = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                        found->ai_protocol);
    const int on = 1;
    if (m_listen >= 0)
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const bool bound = m_listen >= 0 && ::bind(m_listen, found->ai_addr, found->ai_addrlen) == 0 &&
                       ::listen(m_listen, 4) == 0;
    ::freeaddrinfo(found);
    if (!bound) {
        *error = errnoText(qPrintable(hostPort));
        return false;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
    char shownHost[NI_MAXHOST] = {};
    char shownPort[NI_MAXSERV] = {};
    ::getnameinfo(reinterpret_cast<sockaddr*>(&address), length, shownHost, sizeof shownHost,
                  shownPort, sizeof shownPort, NI_NUMERICHOST | NI_NUMERICSERV);
    const QString shown = QString::fromLatin1(shownHost);
    m_listenPlace = (shown.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(shown) : shown) +
                    QLatin1Char(':') + QString::fromLatin1(shownPort);
    return true;
}

void PtyLoop::acceptConnection()
{
    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    // A frame goes out as soon as it is written.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_master = fd;
    m_writeBlocked = false;
    if (m_verbose)
        say(QCoreApplication::translate("PtyLoop", "host connected"));
}

void PtyLoop::dropConnection()
{
    ::close(m_master);
    m_master = -1;
    m_writeBlocked = false;
    // Replies under way are lost with the host; junk waits for the next.
    while (!m_out.empty() && m_out.front().started)
        m_out.pop_front();
    if (m_verbose)
        say(QCoreApplication::translate("PtyLoop", "host disconnected"));
}

bool PtyLoop::open(QString* error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        *error = errnoText("posix_openpt");
        return false;
    }
    setCloseOnExec(m_master);
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        *error = errnoText("grantpt/unlockpt");
        return false;
    }
    const char* name = ::ptsname(m_master);
    if (!name) {
        *error = errnoText("ptsname");
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    // Our own descriptor of the slave side: without it, reads on the master fail
    // while no host has the port open. It is never read.
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0) {
        *error = errnoText(name);
        return false;
    }
    setCloseOnExec(m_slave);

    // Raw mode is essential: echo or newline translation would corrupt frames.
    termios tio{};
    if (::tcgetattr(m_slave, &tio) != 0) {
        *error = errnoText("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        *error = errnoText("tcsetattr");
        return false;
    }

    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = errnoText("fcntl");
        return false;
    }
    return true;
}

bool PtyLoop::makeLink(const QString& path, QString* error)
{
    const QByteArray target = QFile::encodeName(m_slavePath);
    const QByteArray link = QFile::encodeName(path);
    const QFileInfo info(path);
    if (info.isSymLink()) {
        if (::unlink(link.constData()) != 0) {
            *error = errnoText(link.constData());
            return false;
        }
    } else if (info.exists()) {
        *error = QCoreApplication::translate(
                     "PtyLoop", "%1 exists and is not a symbolic link; not replacing it")
                     .arg(path);
        return false;
    }
    if (::symlink(target.constData(), link.constData()) != 0) {
        *error = errnoText(link.constData());
        return false;
    }
    m_linkPath = path;
    return true;
}

void PtyLoop::removeLink()
{
    if (m_linkPath.isEmpty())
        return;
    // Only our own link: someone may have put another one there meanwhile.
    const QFileInfo info(m_linkPath);
    if (info.isSymLink() && info.symLinkTarget() == m_slavePath)
        ::unlink(QFile::encodeName(m_linkPath).constData());
    m_linkPath.clear();
}

} // namespace zqsim
