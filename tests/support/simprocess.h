#pragma once

// The simulated receiver, zqreader-sim, run for a test.

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

class SimProcess
{
public:
    ~SimProcess() { Stop(); }

    // Starts the simulator and waits for the path of its pseudo-terminal
    // (with --listen, the HOST:PORT it listens on).
    bool Start(const QStringList& arguments)
    {
        m_process.setProgram(QStringLiteral(ZQ_BIN_DIR "/zqreader-sim"));
        m_process.setArguments(arguments);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        QDeadlineTimer deadline(10000);
        while (!m_process.canReadLine() && !deadline.hasExpired()) {
            if (!m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                break;
        }
        if (!m_process.canReadLine())
            return false;
        m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return !m_path.isEmpty();
    }

    QString PortPath() const { return m_path; }

    // Sends one command line and waits until the simulator's reports contain
    // the expected text.
    bool Command(const QString& line, const QString& expected)
    {
        m_process.write((line + QLatin1Char('\n')).toLocal8Bit());
        return WaitForReport(expected);
    }

    // Waits until the simulator's reports contain the expected text.
    bool WaitForReport(const QString& expected)
    {
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            m_reports += QString::fromLocal8Bit(m_process.readAllStandardError());
            if (m_reports.contains(expected))
                return true;
            m_process.waitForReadyRead(100);
        }
        return false;
    }

    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.write("quit\n");
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
    QString m_path;
    QString m_reports;
};
