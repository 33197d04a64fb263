#include "link/tcplink.h"

#include <QTcpSocket>
#include <algorithm>
#include <array>
#include <limits>

namespace {

QString hostAndPort(const PortName& port)
{
    const QString host = port.Host().contains(QLatin1Char(':'))
                             ? QStringLiteral("[%1]").arg(port.Host())
                             : port.Host();
    return QStringLiteral("%1:%2").arg(host).arg(port.TcpPort());
}

// Why no connection was made, naming the host and port. Every one of these
// may pass: a server restarted, a network back, a name entered in the DNS.
PortOpenFailure describeConnectFailure(const PortName& port, const QTcpSocket& socket)
{
    using Reason = PortOpenFailure::Reason;
    const QString where = hostAndPort(port);
    switch (socket.error()) {
    case QAbstractSocket::HostNotFoundError:
        return {Reason::HostUnknown,
                TcpLink::tr("The host \"%1\" of %2 is not known: no such name in the DNS or "
                            "the hosts file.")
                    .arg(port.Host(), port.Shown())};
    case QAbstractSocket::ConnectionRefusedError:
        return {Reason::Refused,
                TcpLink::tr("%1 refused the connection: nothing listens on that port "
                            "(is the serial device server running?).")
                    .arg(where)};
    case QAbstractSocket::SocketTimeoutError:
        return {Reason::NoAnswer, TcpLink::tr("%1 did not answer within %2 seconds.")
                                      .arg(where)
                                      .arg(TcpLink::kConnectMilliseconds / 1000)};
    default:
        break;
    }
    return {Reason::Other,
            TcpLink::tr("%1 cannot be reached: %2.").arg(where, socket.errorString())};
}

} // namespace

TcpLink::TcpLink() = default;

TcpLink::~TcpLink()
{
    Close();
}

bool TcpLink::Open(const PortName& portName)
{
    Close();
    ClearOpenFailure();
    if (!portName.IsNetwork()) {
        FailOpen(PortOpenFailure::Reason::BadName,
                 portName.IsValid() ? tr("%1 is not a network port.").arg(portName.Shown())
                                    : portName.Problem());
        return false;
    }
    m_where = hostAndPort(portName);
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(portName.Host(), portName.TcpPort());
    if (!socket->waitForConnected(kConnectMilliseconds)) {
        FailOpen(describeConnectFailure(portName, *socket));
        return false;
    }
    // Each request byte goes out at once, not held back for more.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setReadBufferSize(kMostBuffered);
    m_socket = std::move(socket);
    m_incoming.clear();
    m_overrun = false;
    DeviceLink::CancelIo();
    if (!Start()) {
        Close();
        return false;
    }
    return true;
}

void TcpLink::Close()
{
    DeviceLink::CancelIo();
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
    m_incoming.clear();
}

QIODevice* TcpLink::Device() const
{
    return m_socket.get();
}

bool TcpLink::Connected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TcpLink::SendRaw(const QByteArray& bytes)
{
    if (!Connected())
        return false;
    if (m_socket->bytesToWrite() + bytes.size() > kMostBuffered) {
        m_overrun = true;
        m_socket->abort();
        return false;
    }
    if (m_socket->write(bytes) != bytes.size())
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
    // An answer that overran the bound (see SendRaw) closes the socket.
    while (m_incoming.size() < kMostBuffered && m_socket->isOpen()) {
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

void TcpLink::PurgeInput()
{
    Receive(0);
    m_incoming.clear();
}

int TcpLink::Arrived()
{
    Receive(0);
    return static_cast<int>(std::min<qint64>(m_incoming.size(), std::numeric_limits<int>::max()));
}

bool TcpLink::ReadCanStart()
{
    return !m_incoming.isEmpty() || Receive(0);
}

bool TcpLink::AwaitBytes(bool frameBegun)
{
    // Before the frame begins, the caller sends a request byte at every
    // turn, paced by the line's byte time, and the sooner one follows the
    // last the sooner the receiver answers; once it has begun, wait here for
    // the rest, a millisecond at most, rather than have the caller spin. A
    // connection closed by the server, or broken, brings nothing more.
    const bool open = Receive(frameBegun ? 1 : 0);
    return open || !m_incoming.isEmpty();
}

bool TcpLink::Send(const quint8* data, int size)
{
    return SendRaw(Encode(data, size));
}

// The server puts the bytes on its line at once, so a write is over once
// they have left; it fails only with the connection.
SerialLink::Result TcpLink::WriteStalled()
{
    if (!Connected())
        return Result::Failed;
    if (m_socket->error() == QAbstractSocket::SocketTimeoutError)
        return Result::PortTimeout;
    return Result::Pending;
}
