#include "link/tcplink.h"

#include <QTcpSocket>
#include <algorithm>
#include <array>
#include <limits>
#include <thread>

namespace {

// What is taken from the connection and not yet read is kept within this: a
// server that floods the link cannot fill the memory, nor keep a discard
// going for ever.
constexpr qint64 kMostBuffered = qint64{64} * 1024;

QString hostAndPort(const PortName& port)
{
    const QString host = port.Host().contains(QLatin1Char(':'))
                             ? QStringLiteral("[%1]").arg(port.Host())
                             : port.Host();
    return QStringLiteral("%1:%2").arg(host).arg(port.TcpPort());
}

// Why no connection was made, naming the host and port. Every one of these
// may pass: a server restarted, a network back, a name entered in the DNS.
QString describeConnectFailure(const PortName& port, const QTcpSocket& socket)
{
    const QString where = hostAndPort(port);
    switch (socket.error()) {
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("The host \"%1\" of %2 is not known: no such name in the DNS or "
                              "the hosts file.")
            .arg(port.Host(), port.Shown());
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("%1 refused the connection: nothing listens on that port "
                              "(is the serial device server running?).")
            .arg(where);
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("%1 did not answer within %2 seconds.")
            .arg(where)
            .arg(TcpLink::kConnectMilliseconds / 1000);
    default:
        break;
    }
    return QStringLiteral("%1 cannot be reached: %2.").arg(where, socket.errorString());
}

} // namespace

TcpLink::TcpLink()
    : m_read([this](quint8* into, qint64 most) { return TakeArrived(into, most); },
             [this] { return m_clock.nsecsElapsed(); })
{
    m_clock.start();
}

TcpLink::~TcpLink()
{
    Close();
}

bool TcpLink::Open(const PortName& portName)
{
    Close();
    m_openFailure.clear();
    if (!portName.IsNetwork()) {
        m_openFailure = portName.IsValid()
                            ? QStringLiteral("%1 is not a network port.").arg(portName.Shown())
                            : portName.Problem();
        return false;
    }
    m_where = hostAndPort(portName);
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(portName.Host(), portName.TcpPort());
    if (!socket->waitForConnected(kConnectMilliseconds)) {
        m_openFailure = describeConnectFailure(portName, *socket);
        return false;
    }
    // Each request byte goes out at once, not held back for more.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setReadBufferSize(kMostBuffered);
    m_socket = std::move(socket);
    m_incoming.clear();
    m_read.Cancel();
    m_writing = false;
    if (!Start()) {
        Close();
        return false;
    }
    return true;
}

void TcpLink::Close()
{
    m_read.Cancel();
    m_writing = false;
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
    m_incoming.clear();
}

bool TcpLink::Connected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TcpLink::SendRaw(const QByteArray& bytes)
{
    if (!Connected() || m_socket->write(bytes) != bytes.size())
        return false;
    m_socket->flush();
    return Connected();
}

bool TcpLink::Receive(int waitMilliseconds)
{
    if (!m_socket)
        return false;
    if (m_socket->bytesAvailable() == 0)
        m_socket->waitForReadyRead(waitMilliseconds);
    std::array<char, 4096> chunk{};
    while (m_incoming.size() < kMostBuffered) {
        const qint64 got = m_socket->read(chunk.data(), qint64(chunk.size()));
        if (got <= 0)
            break;
        Decode(chunk.data(), got, m_incoming);
    }
    return Connected() || m_socket->bytesAvailable() > 0;
}

qint64 TcpLink::TakeArrived(quint8* into, qint64 most)
{
    if (m_incoming.size() < most)
        Receive(0);
    const qint64 n = std::min<qint64>(most, m_incoming.size());
    std::copy_n(m_incoming.constData(), n, reinterpret_cast<char*>(into));
    m_incoming.remove(0, n);
    return n;
}

void TcpLink::CancelIo()
{
    m_read.Cancel();
    m_writing = false;
}

void TcpLink::PurgeInput()
{
    Receive(0);
    m_incoming.clear();
}

int TcpLink::DiscardArrived()
{
    if (!m_socket || m_read.Active())
        return 0;
    qint64 dropped = 0;
    do {
        dropped += m_incoming.size();
        m_incoming.clear();
        Receive(0);
    } while (!m_incoming.isEmpty() && dropped < kMostBuffered);
    return static_cast<int>(std::min<qint64>(dropped, std::numeric_limits<int>::max()));
}

int TcpLink::Arrived()
{
    Receive(0);
    return static_cast<int>(std::min<qint64>(m_incoming.size(), std::numeric_limits<int>::max()));
}

SerialLink::Result TcpLink::StartRead(quint8* buffer, int size, int* bytesRead)
{
    if (!m_socket || m_read.Active() || size <= 0)
        return Result::Failed;
    if (m_incoming.isEmpty() && !Receive(0))
        return Result::Failed;
    m_read.Start(buffer, size);
    if (m_read.Poll()) {
        *bytesRead = m_read.Count();
        return Result::Completed;
    }
    return Result::Pending;
}

SerialLink::Result TcpLink::PollRead(int* bytesRead)
{
    if (!m_socket || !m_read.Active())
        return Result::Failed;
    if (m_read.Poll()) {
        *bytesRead = m_read.Count();
        return Result::Completed;
    }
    // Before the frame begins, the caller sends a request byte at every
    // turn, paced by the line's byte time, and the sooner one follows the
    // last the sooner the receiver answers; once it has begun, wait here for
    // the rest, a millisecond at most, rather than have the caller spin. A
    // connection closed by the server, or broken, brings nothing more.
    const bool open = Receive(m_read.Count() > 0 ? 1 : 0);
    *bytesRead = m_read.Count();
    if (!open && m_incoming.isEmpty()) {
        m_read.Cancel();
        return Result::Failed;
    }
    return Result::Pending;
}

SerialLink::Result TcpLink::StartWrite(const quint8* data, int size)
{
    if (!m_socket || m_writing || size <= 0)
        return Result::Failed;
    if (!SendRaw(Encode(data, size)))
        return Result::Failed;
    m_sinceWriteStart.start();
    m_writing = true;
    m_writeSize = size;
    return Result::Pending;
}

SerialLink::Result TcpLink::WaitWrite()
{
    if (!m_socket || !m_writing)
        return Result::Failed;
    while (m_socket->bytesToWrite() > 0) {
        const int remaining =
            kWriteBoundMilliseconds - static_cast<int>(m_sinceWriteStart.elapsed());
        if (remaining <= 0)
            return Result::PortTimeout;
        if (!m_socket->waitForBytesWritten(remaining)) {
            if (!Connected())
                return Result::Failed;
            if (m_socket->error() == QAbstractSocket::SocketTimeoutError)
                return Result::PortTimeout;
        }
    }
    // The server puts the byte on its line at once; the next must not
    // follow sooner than the line carries this one.
    const qint64 left = kByteTimeNanoseconds * m_writeSize - m_sinceWriteStart.nsecsElapsed();
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(left));
    m_writing = false;
    m_bytesWritten += m_writeSize;
    return Result::Completed;
}
