#pragma once

// A helper program run within bounds: how much it may write on standard output
// and on standard error, and how long it may go without writing anything on
// standard output. A program past a bound is killed, so one that loops on a
// damaged input neither holds its caller forever nor fills its memory.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

struct ToolLimits
{
    qint64 outputBytes = 0; // on standard output, all together
    qint64 errorBytes = 0;  // on standard error, all together
    int quietMs = 0;        // the longest wait for the next output
};

class BoundedTool
{
public:
    BoundedTool(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                const ToolLimits& limits);
    // A program still running is killed.
    ~BoundedTool();
    BoundedTool(const BoundedTool&) = delete;
    BoundedTool& operator=(const BoundedTool&) = delete;

    // False when the program could not be started.
    bool Started() const { return m_started; }

    // The next bytes of standard output as they come; empty once the program
    // has ended or has been stopped for passing a bound (see Stopped()).
    QByteArray Read();
    // Everything up to the end, within the same bounds.
    QByteArray ReadAll();
    // Kills the program if it still runs.
    void Stop();

    // Why the program was stopped, e.g. "it wrote nothing for 120 s"; empty
    // when it was not.
    const QString& Stopped() const { return m_stopped; }
    // Ended by itself with exit status 0.
    bool Succeeded() const;
    // What it wrote on standard error (its beginning), or its exit status.
    QString Failure() const;

private:
    void takeErrors();
    void stop(const QString& why);

    QProcess m_process;
    ToolLimits m_limits;
    bool m_started = false;
    qint64 m_outputBytes = 0;
    qint64 m_errorBytes = 0;
    QByteArray m_errors; // the beginning of standard error, for the message
    QString m_stopped;
};
