#include "formats/boundedtool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

// Enough of standard error to say what went wrong.
constexpr qsizetype kErrorsKept = 2000;

} // namespace

BoundedTool::BoundedTool(const QString& program, const QStringList& args,
                         const QProcessEnvironment& env, const ToolLimits& limits)
    : m_limits(limits)
{
    // Standard error is taken as it comes, not gathered without end by QProcess.
    QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] { takeErrors(); });
    m_process.setProcessEnvironment(env);
    m_process.setProgram(program);
    m_process.setArguments(args);
    m_process.setReadChannel(QProcess::StandardOutput);
    m_process.start(QIODevice::ReadOnly);
    m_started = m_process.waitForStarted(-1);
}

BoundedTool::~BoundedTool()
{
    Stop();
}

QByteArray BoundedTool::Read()
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (!m_stopped.isEmpty())
            return {};
        QByteArray out = m_process.readAllStandardOutput();
        if (!out.isEmpty()) {
            m_outputBytes += out.size();
            if (m_outputBytes <= m_limits.outputBytes)
                return out;
            stop(QCoreApplication::translate("BoundedTool", "it wrote more than %1 bytes")
                     .arg(m_limits.outputBytes));
            return {};
        }
        if (m_process.state() == QProcess::NotRunning) {
            takeErrors();
            return {};
        }
        const qint64 left = m_limits.quietMs - waited.elapsed();
        if (left <= 0) {
            stop(QCoreApplication::translate("BoundedTool", "it wrote nothing for %1 s")
                     .arg(double(m_limits.quietMs) / 1000.0, 0, 'g', 3));
            return {};
        }
        // An event loop rather than waitForReadyRead(), which would gather
        // standard error without bound while it waits for standard output.
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
        QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&m_process, &QProcess::readyReadStandardError, &loop, [this, &loop] {
            if (!m_stopped.isEmpty())
                loop.quit();
        });
        timer.start(int(left));
        if (m_process.bytesAvailable() == 0 && m_process.state() != QProcess::NotRunning)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

QByteArray BoundedTool::ReadAll()
{
    QByteArray all;
    for (QByteArray part = Read(); !part.isEmpty(); part = Read())
        all += part;
    return all;
}

void BoundedTool::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(-1);
}

bool BoundedTool::Succeeded() const
{
    return m_started && m_stopped.isEmpty() && m_process.state() == QProcess::NotRunning &&
           m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QString BoundedTool::Failure() const
{
    QString why = QString::fromUtf8(m_errors).trimmed();
    if (why.isEmpty())
        why = m_process.exitStatus() == QProcess::NormalExit
                  ? QCoreApplication::translate("BoundedTool", "exit status %1")
                        .arg(m_process.exitCode())
                  : QCoreApplication::translate("BoundedTool", "it crashed");
    return why;
}

void BoundedTool::takeErrors()
{
    const QByteArray bytes = m_process.readAllStandardError();
    if (!m_stopped.isEmpty())
        return; // what a stopped program still wrote says nothing more
    m_errorBytes += bytes.size();
    if (m_errors.size() < kErrorsKept)
        m_errors += bytes.left(kErrorsKept - m_errors.size());
    if (m_errorBytes > m_limits.errorBytes)
        stop(QCoreApplication::translate("BoundedTool", "it wrote more than %1 bytes of messages")
                 .arg(m_limits.errorBytes));
}

void BoundedTool::stop(const QString& why)
{
    m_stopped = why;
    if (m_process.state() != QProcess::NotRunning)
        m_process.kill();
}
