#pragma once

// A pseudo-terminal whose master side the test holds, to play the far end of
// a serial line by hand.

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

class PtyPair
{
public:
    PtyPair()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        const char* name = ::ptsname(m_master);
        if (!name)
            return;
        m_slavePath = QString::fromLocal8Bit(name);
        // Held open so that the line stays up whoever comes and goes.
        m_slave = ::open(name, O_RDWR | O_NOCTTY);
        if (m_slave >= 0) {
            termios t{};
            ::tcgetattr(m_slave, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(m_slave, TCSANOW, &t);
        }
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // The far end hangs up.
    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    bool IsValid() const { return m_master >= 0 && m_slave >= 0; }
    QString SlavePath() const { return m_slavePath; }
    int SlaveFd() const { return m_slave; }

    bool Send(const QByteArray& bytes)
    {
        return ::write(m_master, bytes.constData(), bytes.size()) == bytes.size();
    }

    // What has arrived from the port, waiting up to timeoutMs for the first byte.
    QByteArray Receive(int timeoutMs)
    {
        QByteArray got;
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return got;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_master, buffer, sizeof buffer)) > 0)
            got.append(buffer, n);
        return got;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
