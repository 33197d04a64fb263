#pragma once

#include "link/devicelink.h"

#include <QByteArray>
#include <QCoreApplication>
#include <memory>

class QTcpSocket;

// A serial line bridged to a TCP port by a serial device server, bytes only
// (socket://HOST:PORT). The download sees it as a serial port: reads are
// gathered and end as on QtSerialLink, from the bytes as they arrive, in
// whatever segments the network cuts them; a request byte is sent at once
// (no Nagle delay) and counts as sent no sooner than the line could carry
// it. The line's settings are the server's own; there is no device to lock.
// Blocking calls only, from one thread; needs no event loop.
//
// A protocol on top of the bytes (Rfc2217Link) hooks into the connection's
// start, the coding of the bytes each way, and the line's settings.
class TcpLink : public DeviceLink
{
    Q_DECLARE_TR_FUNCTIONS(TcpLink)

public:
    // How long the connection may take to be made.
    static constexpr int kConnectMilliseconds = 3000;

    TcpLink();
    ~TcpLink() override;

    using SerialLink::Open;
    bool Open(const PortName& portName) override;
    void Close() override;

    void SetLineFormat() override {}
    void RaiseRts() override {}
    void RaiseDtr() override {}
    void ClearErrors() override {}
    void PurgeInput() override;
    void PurgeOutput() override {}
    int Arrived() override;

protected:
    QIODevice* Device() const override;
    qint64 TakeArrived(quint8* into, qint64 most) override;
    bool ReadCanStart() override;
    bool AwaitBytes(bool frameBegun) override;
    bool Send(const quint8* data, int size) override;
    Result WriteStalled() override;

    // Runs once the connection is made; on failure sets the reason with
    // FailOpen() and returns false.
    virtual bool Start() { return true; }
    // Turns bytes as received into line bytes, appended to `line`; may
    // change what has been taken into `line` so far.
    virtual void Decode(const char* data, qint64 size, QByteArray& line)
    {
        line.append(data, size);
    }
    // The line bytes as they go on the connection.
    virtual QByteArray Encode(const quint8* data, int size) const
    {
        return {reinterpret_cast<const char*>(data), size};
    }

    // Sends bytes as they are; false when the connection is gone. What the
    // server has not taken is kept within kMostBuffered, as what it sends is:
    // past that (a server that floods the link with requests and reads none
    // of the answers) the connection is dropped, and Overrun() tells why.
    bool SendRaw(const QByteArray& bytes);
    bool Overrun() const { return m_overrun; }
    // Takes what has come, waiting up to waitMilliseconds for something
    // when nothing is there; false once the connection is gone and
    // nothing more can come.
    bool Receive(int waitMilliseconds);
    bool Connected() const;
    // "host:port" for messages.
    const QString& Where() const { return m_where; }
    // The line bytes received and not yet taken.
    QByteArray& Incoming() { return m_incoming; }

private:
    std::unique_ptr<QTcpSocket> m_socket;
    QString m_where;
    QByteArray m_incoming;
    bool m_overrun = false;
};
