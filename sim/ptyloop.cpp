#include "ptyloop.h"

#include "ptysupport.h"

#ifdef _WIN32
#error "zqreader-sim needs POSIX pseudo-terminals"
#endif

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace zqsim {

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void onSignal(int signo)
{
    const int saved = errno;
    const char byte = char(signo);
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void say(const QString& text)
{
    std::fputs(qPrintable(text), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

QString errnoText(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

void setCloseOnExec(int fd)
{
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0)
        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

PtyLoop::PtyLoop()
{
    m_startNs = nowNs();
}

PtyLoop::~PtyLoop()
{
    removeLink();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    if (m_listen >= 0)
        ::close(m_listen);
}

qint64 PtyLoop::nowNs() const
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

qint64 PtyLoop::nowMs() const
{
    return (nowNs() - m_startNs) / 1000000;
}

void PtyLoop::enqueue(const QByteArray& bytes, bool isReply)
{
    if (!bytes.isEmpty())
        m_out.push_back({bytes, isReply, false});
}

// Writes the burst whose time has come, in one piece, and tells the receiver
// when its reply has left: when the last byte would be out at the line's
// speed, whenever the write itself took place.
bool PtyLoop::writeDue(Receiver& receiver)
{
    for (;;) {
        const qint64 now = nowNs();
        if (m_replyOutNs >= 0 && now >= m_replyOutNs) {
            receiver.replySent((m_replyOutNs - m_startNs) / 1000000);
            m_replyOutNs = -1;
        }
        if (m_out.empty())
            return true;
        Burst& burst = m_out.front();
        if (!burst.started && now < m_lineFreeNs)
            return true;
        if (m_master < 0)
            return true; // no host on the network line yet
        const ssize_t n =
            m_listen >= 0 ? ::send(m_master, burst.bytes.constData(), size_t(burst.bytes.size()),
                                   MSG_NOSIGNAL)
                          : ::write(m_master, burst.bytes.constData(), size_t(burst.bytes.size()));
        if (n < 0 && m_listen >= 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            dropConnection();
            return true;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                m_writeBlocked = true; // nobody reads the line; wait until it drains
                return true;
            }
            say(errnoText("write to the pseudo-terminal"));
            return false;
        }
        m_writeBlocked = false;
        burst.started = true;
        m_lineFreeNs = std::max(now, m_lineFreeNs) + qint64(n) * m_byteNs;
        burst.bytes.remove(0, n);
        if (burst.bytes.isEmpty()) {
            if (burst.isReply)
                m_replyOutNs = m_lineFreeNs;
            m_out.pop_front();
        }
    }
}

int PtyLoop::readRequests(Receiver& receiver)
{
    if (m_master < 0)
        return 0;
    char buffer[512];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (m_listen >= 0 && (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))) {
        dropConnection();
        return 0;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
        say(errnoText("read from the pseudo-terminal"));
        return -1;
    }
    if (n <= 0)
        return 0;
    // When the loop was held up, the requests have piled up on the line.
    // They came no faster than the line carries them, so the first came at
    // least that long ago: dated as late as that allows, they show a pause
    // only where the host really made one.
    const qint64 now = nowNs();
    const qint64 byteNs = m_byteNs > 0 ? m_byteNs : kLineByteNs;
    for (ssize_t i = 0; i < n; ++i) {
        const qint64 at = std::max(m_lastRequestNs, now - qint64(n - 1 - i) * byteNs);
        m_lastRequestNs = at;
        const qint64 t = (at - m_startNs) / 1000000;
        const QByteArray reply = receiver.request(t);
        if (receiver.sessions() != m_sessionsSeen) {
            m_sessionsSeen = receiver.sessions();
            m_framesSeen = 0;
            say(QCoreApplication::translate("PtyLoop",
                                            "session %1 started: counter %2, %3 events in the log")
                    .arg(m_sessionsSeen)
                    .arg(hex(receiver.counterAt(t), 6))
                    .arg(receiver.log().size()));
        }
        // Those that come while a reply is out are dropped by the receiver.
        enqueue(reply, true);
        if (!reply.isEmpty() && m_verbose && receiver.framesInSession() != m_framesSeen) {
            m_framesSeen = receiver.framesInSession();
            say(QCoreApplication::translate("PtyLoop", "frame %1: %2 bytes, %3 events sent so far")
                    .arg(m_framesSeen)
                    .arg(reply.size())
                    .arg(receiver.eventsSentInSession()));
        }
    }
    return int(n);
}

bool PtyLoop::catchSignals()
{
    if (::pipe(g_signalPipe) != 0) {
        say(errnoText("pipe"));
        return false;
    }
    for (int fd : g_signalPipe) {
        setCloseOnExec(fd);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signo : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signo, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

bool PtyLoop::endSessionWhenIdle(Receiver& receiver, qint64 nowRel)
{
    const bool wasActive = receiver.sessionActive();
    const int frames = receiver.framesInSession();
    const int sent = receiver.eventsSentInSession();
    const int dropped = receiver.droppedInSession();
    const QByteArray after = receiver.idle(nowRel);
    if (!wasActive || receiver.sessionActive())
        return false;
    say(QCoreApplication::translate(
            "PtyLoop", "session %1 ended: %2 frames, %3 events sent, %4 requests dropped")
            .arg(receiver.sessions())
            .arg(frames)
            .arg(sent)
            .arg(dropped));
    enqueue(after, false);
    return true;
}

qint64 PtyLoop::sleepNs(qint64 wake, qint64 nowRel) const
{
    qint64 timeoutNs = -1;
    const auto wakeIn = [&timeoutNs](qint64 ns) {
        ns = std::max<qint64>(0, ns);
        timeoutNs = timeoutNs < 0 ? ns : std::min(timeoutNs, ns);
    };
    if (!m_out.empty() && !m_writeBlocked && m_master >= 0)
        wakeIn(m_out.front().started ? 0 : m_lineFreeNs - nowNs());
    if (m_replyOutNs >= 0)
        wakeIn(m_replyOutNs - nowNs());
    if (wake >= 0)
        wakeIn((wake - nowRel) * 1000000);
    return timeoutNs;
}

void PtyLoop::lineChanged(short revents, short listenRevents)
{
    if (listenRevents & POLLIN)
        acceptConnection();
    if (revents & POLLOUT)
        m_writeBlocked = false;
    // Requests are read at the top of the loop.
    if (m_listen >= 0 && !(revents & POLLIN) && (revents & (POLLHUP | POLLERR))) {
        dropConnection();
    } else if (!(revents & POLLIN) && (revents & (POLLHUP | POLLERR))) {
        // Should not happen while we hold the slave side; avoid spinning if it does.
        ::usleep(10000);
    }
}

void PtyLoop::readCommands(Receiver& receiver)
{
    char buffer[1024];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n > 0) {
        m_stdinBuffer.append(buffer, n);
        qsizetype newline;
        while ((newline = m_stdinBuffer.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_stdinBuffer.left(newline));
            m_stdinBuffer.remove(0, newline + 1);
            handleCommandLine(receiver, line);
        }
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        if (!m_stdinBuffer.isEmpty())
            handleCommandLine(receiver, QString::fromUtf8(m_stdinBuffer));
        m_stdinBuffer.clear();
        m_stdinOpen = false;
        if (m_verbose)
            say(QCoreApplication::translate("PtyLoop",
                                            "standard input closed; still serving the line"));
    }
}

int PtyLoop::run(Receiver& receiver, int baud, bool verbose)
{
    m_verbose = verbose;
    m_byteNs = baud > 0 ? 10000000000LL / baud : 0;
    if (!catchSignals())
        return 1;

    bool lookedAgain = false;
    m_sessionsSeen = receiver.sessions();
    int exitStatus = 0;

    enqueue(receiver.start(), false);

    while (!m_quit) {
        if (!writeDue(receiver)) {
            exitStatus = 1;
            break;
        }
        // Requests waiting on the line come first: they are no pause.
        const int requests = readRequests(receiver);
        if (requests < 0) {
            exitStatus = 1;
            break;
        }
        if (requests > 0)
            continue;

        const qint64 nowRel = nowMs();
        // A loop that was held up (stopped, or starved on a busy machine) can
        // run again before the kernel has passed on the requests that piled up
        // on the line meanwhile. Look once more before calling it a pause.
        const qint64 wake = receiver.nextWakeup();
        if (wake >= 0 && nowRel - wake > kHeldUpMs && !lookedAgain) {
            lookedAgain = true;
            pollfd line{m_master, POLLIN, 0};
            ::poll(&line, 1, kHeldUpMs);
            continue;
        }
        lookedAgain = false;
        if (endSessionWhenIdle(receiver, nowRel))
            continue;

        // Sleep until the next burst is due, the reply is out, the session
        // may have ended, or input.
        const qint64 timeoutNs = sleepNs(wake, nowRel);
        pollfd fds[4] = {};
        fds[0] = {m_master, short(POLLIN | (m_writeBlocked ? POLLOUT : 0)), 0};
        fds[1] = {g_signalPipe[0], POLLIN, 0};
        fds[2] = {m_stdinOpen ? STDIN_FILENO : -1, POLLIN, 0};
        fds[3] = {m_master < 0 ? m_listen : -1, POLLIN, 0};
        timespec ts{};
        if (timeoutNs >= 0) {
            ts.tv_sec = timeoutNs / 1000000000;
            ts.tv_nsec = timeoutNs % 1000000000;
        }
        const int ready = ::ppoll(fds, 4, timeoutNs >= 0 ? &ts : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            say(errnoText("poll"));
            exitStatus = 1;
            break;
        }
        if (fds[1].revents & POLLIN) {
            char signo = 0;
            if (::read(g_signalPipe[0], &signo, 1) == 1)
                say(QCoreApplication::translate("PtyLoop", "signal %1: stopping").arg(int(signo)));
            break;
        }
        lineChanged(fds[0].revents, fds[3].revents);
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR))
            readCommands(receiver);
    }

    for (int signo : {SIGINT, SIGTERM, SIGHUP})
        ::signal(signo, SIG_DFL);
    removeLink();
    return exitStatus;
}

QString hex(quint32 value, int digits)
{
    return QStringLiteral("0x%1")
        .arg(value, digits, 16, QLatin1Char('0'))
        .toUpper()
        .replace(QLatin1String("0X"), QLatin1String("0x"));
}

} // namespace zqsim
