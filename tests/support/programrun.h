#pragma once

// One of the project's programs run as a process of its own, waited for, with
// its exit status and what it printed.

#include <QProcess>
#include <QStringList>

namespace testrun {

struct Result
{
    int exitCode = -1; // -1: not ended in time; -2: ended by a signal
    QString out{};
    QString err{};
    QByteArray rawOut{};
};

struct Options
{
    QString program = QStringLiteral(ZQ_BIN_DIR "/zqreader-cli");
    QProcessEnvironment env{}; // empty: this process's own
    QString workDir{};
    QStringList prefix{}; // a program (and its arguments) that runs it
    int timeoutMs = 60000;
};

inline Result Finish(QProcess& p, int timeoutMs = 60000)
{
    Result r;
    if (!p.waitForFinished(timeoutMs))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.rawOut = p.readAllStandardOutput();
    r.out = QString::fromUtf8(r.rawOut);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

inline Result Run(const QStringList& arguments, const Options& o = {})
{
    QProcess p;
    if (!o.env.isEmpty())
        p.setProcessEnvironment(o.env);
    if (!o.workDir.isEmpty())
        p.setWorkingDirectory(o.workDir);
    if (o.prefix.isEmpty())
        p.start(o.program, arguments);
    else
        p.start(o.prefix.first(), o.prefix.mid(1) + QStringList{o.program} + arguments);
    return Finish(p, o.timeoutMs);
}

// This process's environment with the list's dates in one fixed zone.
inline QProcessEnvironment BerlinEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
    return env;
}

} // namespace testrun
