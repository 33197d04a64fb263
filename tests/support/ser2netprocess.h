#pragma once

// ser2net bridging a serial device (the simulator's pseudo-terminal) to a
// TCP port of 127.0.0.1, raw or with RFC 2217, run for a test.

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

class Ser2NetProcess
{
public:
    ~Ser2NetProcess() { Kill(); }

    static QString Program()
    {
        return QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                              {QStringLiteral("/usr/sbin"),
                                               QStringLiteral("/usr/local/sbin"),
                                               QStringLiteral("/usr/bin")});
    }

    // Starts ser2net on a free port and waits until it takes connections.
    bool Start(const QString& device, bool rfc2217)
    {
        m_port = FreePort();
        if (!m_dir.isValid() || m_port == 0 || Program().isEmpty())
            return false;
        QFile conf(m_dir.filePath(QStringLiteral("ser2net.yaml")));
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        conf.write(QStringLiteral("connection: &rx\n"
                                  "  accepter: %1tcp,127.0.0.1,%2\n"
                                  "  connector: serialdev,%3,9600n81,local\n")
                       .arg(rfc2217 ? QStringLiteral("telnet(rfc2217),") : QString())
                       .arg(m_port)
                       .arg(QFileInfo(device).canonicalFilePath())
                       .toUtf8());
        conf.close();
        m_process.setProgram(Program());
        m_process.setArguments({"-n", "-d", "-c", conf.fileName()});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        for (QDeadlineTimer deadline(5000); !deadline.hasExpired(); QThread::msleep(20)) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), m_port);
            if (probe.waitForConnected(1000))
                return true;
            if (m_process.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }

    quint16 Port() const { return m_port; }

    void Kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // A TCP port of 127.0.0.1 that nothing listens on now.
    static quint16 FreePort()
    {
        QTcpServer server;
        return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
