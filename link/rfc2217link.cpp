#include "link/rfc2217link.h"

#include <QElapsedTimer>

namespace {

// Telnet (RFC 854, 856) and its COM port control option (RFC 2217).
constexpr quint8 kIac = 255;
constexpr quint8 kDont = 254;
constexpr quint8 kDo = 253;
constexpr quint8 kWont = 252;
constexpr quint8 kWill = 251;
constexpr quint8 kSb = 250;
constexpr quint8 kSe = 240;
constexpr quint8 kBinary = 0;
constexpr quint8 kComPort = 44;

constexpr quint8 kSetBaudRate = 1;
constexpr quint8 kSetDataSize = 2;
constexpr quint8 kSetParity = 3;
constexpr quint8 kSetStopSize = 4;
constexpr quint8 kSetControl = 5;
constexpr quint8 kPurgeData = 12;
constexpr quint8 kServerOffset = 100; // a server's answer to command c is c + 100

constexpr quint8 kParityNone = 1;
constexpr quint8 kStopOne = 1;
constexpr quint8 kNoFlowControl = 1;
constexpr quint8 kDtrOn = 8;
constexpr quint8 kRtsOn = 11;
constexpr quint8 kNoInboundFlowControl = 14;
constexpr quint8 kPurgeReceive = 1;
constexpr quint8 kPurgeTransmit = 2;

// A subnegotiation longer than any answer of the option is not kept whole.
constexpr int kMostSubBytes = 64;

QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray out;
    for (quint8 b : list)
        out.append(static_cast<char>(b));
    return out;
}

QByteArray escaped(const quint8* data, int size)
{
    QByteArray out;
    out.reserve(size);
    for (int i = 0; i < size; ++i) {
        out.append(static_cast<char>(data[i]));
        if (data[i] == kIac)
            out.append(static_cast<char>(kIac));
    }
    return out;
}

} // namespace

bool Rfc2217Link::Start()
{
    using Reason = PortOpenFailure::Reason;
    m_state = State::Data;
    m_sub.clear();
    m_replies.clear();
    m_comPort = Answer::Waiting;
    m_purgesConfirmed = 0;
    // Event words hold every byte value: 8-bit data both ways, no CR NUL.
    if (!SendRaw(bytes({kIac, kWill, kBinary, kIac, kDo, kBinary, kIac, kWill, kComPort}))) {
        FailOpen(Reason::Closed, tr("%1 closed the connection at once.").arg(Where()));
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (m_comPort == Answer::Waiting) {
        const qint64 left = kAnswerMilliseconds - waited.elapsed();
        if (left <= 0) {
            FailOpen(Reason::NoAnswer, tr("%1 did not answer the request for COM port control "
                                          "(RFC 2217) within %2 seconds: is it a raw TCP port "
                                          "(socket://)?")
                                           .arg(Where())
                                           .arg(kAnswerMilliseconds / 1000));
            return false;
        }
        if (!Receive(static_cast<int>(left))) {
            if (Overrun())
                FailOpen(Reason::Other, tr("%1 sent Telnet requests without reading the answers "
                                           "(more than %2 bytes of them): is it a serial device "
                                           "server?")
                                            .arg(Where())
                                            .arg(kMostBuffered));
            else
                FailOpen(Reason::Closed, tr("%1 closed the connection before agreeing to COM "
                                            "port control (RFC 2217).")
                                             .arg(Where()));
            return false;
        }
    }
    if (m_comPort == Answer::Declined) {
        FailOpen(Reason::Declined, tr("The serial device server at %1 declined COM port control "
                                      "(RFC 2217): set the port up for it there, or use "
                                      "socket:// for a raw TCP port.")
                                       .arg(Where()));
        return false;
    }
    return true;
}

void Rfc2217Link::SendCommand(quint8 command, const QByteArray& value)
{
    QByteArray out = bytes({kIac, kSb, kComPort, command});
    out +=
        escaped(reinterpret_cast<const quint8*>(value.constData()), static_cast<int>(value.size()));
    out += bytes({kIac, kSe});
    SendRaw(out);
}

void Rfc2217Link::SetLineFormat()
{
    constexpr quint32 baud = 9600;
    SendCommand(kSetBaudRate,
                bytes({quint8(baud >> 24), quint8(baud >> 16), quint8(baud >> 8), quint8(baud)}));
    SendCommand(kSetDataSize, bytes({8}));
    SendCommand(kSetParity, bytes({kParityNone}));
    SendCommand(kSetStopSize, bytes({kStopOne}));
    SendCommand(kSetControl, bytes({kNoFlowControl}));
    SendCommand(kSetControl, bytes({kNoInboundFlowControl}));
}

void Rfc2217Link::RaiseRts()
{
    SendCommand(kSetControl, bytes({kRtsOn}));
}

void Rfc2217Link::RaiseDtr()
{
    SendCommand(kSetControl, bytes({kDtrOn}));
}

void Rfc2217Link::PurgeInput()
{
    TcpLink::PurgeInput();
    Purge(kPurgeReceive);
}

void Rfc2217Link::PurgeOutput()
{
    Purge(kPurgeTransmit);
}

void Rfc2217Link::Purge(quint8 which)
{
    const int confirmed = m_purgesConfirmed;
    SendCommand(kPurgeData, bytes({which}));
    QElapsedTimer waited;
    waited.start();
    // A server that does not confirm leaves the quiet wait before the first
    // request to drop what was under way.
    while (m_purgesConfirmed == confirmed && waited.elapsed() < kPurgeMilliseconds) {
        if (!Receive(static_cast<int>(kPurgeMilliseconds - waited.elapsed())))
            return;
    }
}

QByteArray Rfc2217Link::Encode(const quint8* data, int size) const
{
    return escaped(data, size);
}

void Rfc2217Link::Decode(const char* data, qint64 size, QByteArray& line)
{
    m_replies.clear();
    for (qint64 i = 0; i < size; ++i) {
        const auto b = static_cast<quint8>(data[i]);
        switch (m_state) {
        case State::Data:
            if (b == kIac)
                m_state = State::Command;
            else
                line.append(static_cast<char>(b));
            break;
        case State::Command:
            m_state = State::Data;
            if (b == kIac) {
                line.append(static_cast<char>(b));
            } else if (b >= kWill && b <= kDont) {
                m_verb = b;
                m_state = State::Option;
            } else if (b == kSb) {
                m_sub.clear();
                m_state = State::Sub;
            }
            // Any other command (NOP, GA, ...) carries nothing for the line.
            break;
        case State::Option:
            m_state = State::Data;
            OnOption(m_verb, b);
            break;
        case State::Sub:
            if (b == kIac)
                m_state = State::SubCommand;
            else if (m_sub.size() < kMostSubBytes)
                m_sub.append(static_cast<char>(b));
            break;
        case State::SubCommand:
            if (b == kIac) {
                if (m_sub.size() < kMostSubBytes)
                    m_sub.append(static_cast<char>(b));
                m_state = State::Sub;
            } else {
                // IAC SE, or a broken subnegotiation ended by another command.
                m_state = State::Data;
                OnSubnegotiation();
                // The purge of the receive buffer is confirmed: what came
                // before it was on the line before the purge.
                if (m_sub.size() >= 3 && quint8(m_sub[0]) == kComPort &&
                    quint8(m_sub[1]) == kPurgeData + kServerOffset &&
                    (quint8(m_sub[2]) & kPurgeReceive) != 0)
                    line.clear();
            }
            break;
        }
    }
    if (!m_replies.isEmpty())
        SendRaw(m_replies);
}

void Rfc2217Link::OnOption(quint8 verb, quint8 option)
{
    if (option == kComPort && (verb == kDo || verb == kDont)) {
        if (m_comPort == Answer::Waiting)
            m_comPort = verb == kDo ? Answer::Accepted : Answer::Declined;
        return;
    }
    // Binary both ways was asked for; its agreement needs no answer.
    if (option == kBinary && (verb == kDo || verb == kWill))
        return;
    // Everything else offered or asked for is refused; refusals are taken
    // without an answer, so two refusing sides never loop.
    if (verb == kWill)
        m_replies += bytes({kIac, kDont, option});
    else if (verb == kDo)
        m_replies += bytes({kIac, kWont, option});
}

void Rfc2217Link::OnSubnegotiation()
{
    if (m_sub.size() >= 2 && quint8(m_sub[0]) == kComPort &&
        quint8(m_sub[1]) == kPurgeData + kServerOffset)
        ++m_purgesConfirmed;
}
