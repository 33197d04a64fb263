#pragma once

#include "link/tcplink.h"

#include <QByteArray>
#include <QCoreApplication>

// A serial line behind a serial device server that speaks the Telnet COM
// port control option (RFC 2217; rfc2217://HOST:PORT). On connecting it
// asks for binary transmission both ways and for the option, and refuses
// every other option the server offers or asks for; a server that declines
// the option is refused. The line's settings (9600 8N1, no flow control),
// its control lines and the purges of its buffers go to the server as the
// option's commands. 0xFF, the Telnet escape, is doubled in the bytes sent
// and undone in the bytes received.
class Rfc2217Link : public TcpLink
{
    Q_DECLARE_TR_FUNCTIONS(Rfc2217Link)

public:
    // How long the server may take to answer the option, and a purge.
    static constexpr int kAnswerMilliseconds = 3000;
    static constexpr int kPurgeMilliseconds = 1000;

    void SetLineFormat() override;
    void RaiseRts() override;
    void RaiseDtr() override;
    void PurgeInput() override;
    void PurgeOutput() override;

protected:
    bool Start() override;
    void Decode(const char* data, qint64 size, QByteArray& line) override;
    QByteArray Encode(const quint8* data, int size) const override;

private:
    enum class State
    {
        Data,
        Command,    // after IAC
        Option,     // after IAC WILL/WONT/DO/DONT
        Sub,        // inside IAC SB ... IAC SE
        SubCommand, // IAC inside a subnegotiation
    };
    enum class Answer
    {
        Waiting,
        Accepted,
        Declined,
    };

    void OnOption(quint8 verb, quint8 option);
    void OnSubnegotiation();
    // Sends a COM port control command with its value.
    void SendCommand(quint8 command, const QByteArray& value);
    // Sends a purge and waits, within bounds, for the server to confirm
    // it; the bytes received before the confirmation are dropped.
    void Purge(quint8 which);

    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    QByteArray m_replies;
    Answer m_comPort = Answer::Waiting;
    int m_purgesConfirmed = 0;
};
