// The simulator's line: a pseudo-terminal whose master side it serves with a
// poll() loop, plus the commands read from standard input.
#pragma once

#include "receiver.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <deque>

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

    // Instead of a pseudo-terminal, serves the line as a raw TCP port on
    // HOST:PORT (an IPv4 address, [IPv6] or a name; port 0 picks a free
    // one), one host at a time, as a serial device server would.
    bool listen(const QString& hostPort, QString* error);
    // Where the line is: the pseudo-terminal's path, or HOST:PORT listened on.
    QString linePlace() const { return m_listen >= 0 ? m_listenPlace : m_slavePath; }

    // Makes `path` a symbolic link to the slave side; it is removed again when
    // the loop ends. A symbolic link already there (left by a killed run) is replaced.
    bool makeLink(const QString& path, QString* error);

    // Milliseconds on the loop's monotonic clock, the receiver's time base.
    qint64 nowMs() const;

    // Serves the line until SIGINT, SIGTERM, SIGHUP or the quit command.
    // `baud` paces the output at 10 bits a byte; 0 sends unpaced. As from a
    // real receiver, a frame comes in one piece: it is written at once, and
    // the next is not written before the line could have carried the one
    // before.
    // Returns the exit status.
    int run(Receiver& receiver, int baud, bool verbose);

private:
    // Bytes that go on the line together: a reply, or junk.
    struct Burst
    {
        QByteArray bytes;
        bool isReply = false;
        bool started = false; // partly written: the line's buffer was full
    };

    // 10 bits at 9600 baud: the host's requests come no faster.
    static constexpr qint64 kLineByteNs = 1'041'667;
    // Woken this much later than due, the loop counts as held up.
    static constexpr int kHeldUpMs = 20;

    qint64 nowNs() const;
    void enqueue(const QByteArray& bytes, bool isReply);
    bool writeDue(Receiver& receiver);
    // Hands the request bytes that have arrived to the receiver; returns how
    // many, or -1 when the line failed.
    int readRequests(Receiver& receiver);
    void handleCommandLine(Receiver& receiver, const QString& line);
    // Signals end the loop through a pipe it polls; false (said) when the
    // pipe cannot be made.
    bool catchSignals();
    // Lets the receiver see the pause; true when that ended a session.
    bool endSessionWhenIdle(Receiver& receiver, qint64 nowRel);
    // How long the loop may sleep: -1 until something happens.
    qint64 sleepNs(qint64 wake, qint64 nowRel) const;
    // A host came or went, or the line can take bytes again.
    void lineChanged(short revents, short listenRevents);
    // The commands typed on standard input since the last look.
    void readCommands(Receiver& receiver);
    void removeLink();
    // A TCP host has gone: the line waits for the next.
    void dropConnection();
    void acceptConnection();

    // The line: the pseudo-terminal's master side, or the TCP connection
    // (-1 while no host is connected).
    int m_master = -1;
    int m_listen = -1;
    QString m_listenPlace;
    int m_slave = -1;
    QString m_slavePath;
    QString m_linkPath;
    qint64 m_startNs = 0;

    qint64 m_byteNs = 0;
    bool m_verbose = false;
    bool m_quit = false;
    bool m_stdinOpen = true;
    QByteArray m_stdinBuffer; // a command line not yet ended
    std::deque<Burst> m_out;
    qint64 m_lineFreeNs = 0;  // when the bytes written so far have left at the line's speed
    qint64 m_replyOutNs = -1; // when the reply written is out; -1: none waiting
    bool m_writeBlocked = false;
    qint64 m_lastRequestNs = 0;
    int m_sessionsSeen = 0;
    int m_framesSeen = 0;
};

} // namespace zqsim
