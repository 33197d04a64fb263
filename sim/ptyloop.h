// The simulator's line: a pseudo-terminal whose master side it serves with a
// poll() loop, plus the commands read from standard input.
#pragma once

#include "receiver.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace zqsim {

class PtyLoop
{
public:
    PtyLoop();
    ~PtyLoop();
    PtyLoop(const PtyLoop&) = delete;
    PtyLoop& operator=(const PtyLoop&) = delete;

    // Creates the pseudo-terminal: raw mode, 9600 8N1, our own descriptor of
    // the slave side held open so that hosts can come and go.
    bool open(QString* error);
    QString slavePath() const { return m_slavePath; }

    // Makes `path` a symbolic link to the slave side; it is removed again when
    // the loop ends. A symbolic link already there (left by a killed run) is replaced.
    bool makeLink(const QString& path, QString* error);

    // Milliseconds on the loop's monotonic clock, the receiver's time base.
    qint64 nowMs() const;

    // Serves the line until SIGINT, SIGTERM, SIGHUP or the quit command.
    // `baud` paces the output at 10 bits a byte; 0 sends unpaced.
    // Returns the exit status.
    int run(Receiver& receiver, int baud, bool verbose);

private:
    qint64 nowNs() const;
    void enqueue(const QByteArray& bytes, bool isReply);
    bool writeDue(Receiver& receiver);
    void handleCommandLine(Receiver& receiver, const QString& line);
    void removeLink();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_linkPath;
    qint64 m_startNs = 0;

    qint64 m_byteNs = 0;
    bool m_verbose = false;
    bool m_quit = false;
    QByteArray m_out;
    qint64 m_enqueued = 0;
    qint64 m_written = 0;
    qint64 m_replyEnd = -1; // m_written at which the reply in the queue is out
    qint64 m_nextByteNs = 0;
    bool m_writeBlocked = false;
};

} // namespace zqsim
