#pragma once

#include "link/readgather.h"
#include "link/seriallink.h"

#include <QByteArray>
#include <QElapsedTimer>
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
class TcpLink : public SerialLink
{
public:
    // How long the connection may take to be made, and a write to leave.
    static constexpr int kConnectMilliseconds = 3000;
    static constexpr int kWriteBoundMilliseconds = 1000;
    // 10 bits a byte at 9600 baud: the serial side carries no more.
    static constexpr qint64 kByteTimeNanoseconds = 1'041'667;

    TcpLink();
    ~TcpLink() override;

    bool MakeSignals() override { return true; }
    void CloseSignals() override {}

    using SerialLink::Open;
    bool Open(const PortName& portName) override;
    QString OpenFailureReason() const override { return m_openFailure; }
    void Close() override;

    void SetLineFormat() override {}
    void RaiseRts() override {}
    void RaiseDtr() override {}
    void ClearErrors() override {}
    void CancelIo() override;
    void PurgeInput() override;
    void PurgeOutput() override {}
    void SetReadIntervalTimeout(int milliseconds) override { m_read.SetInterval(milliseconds); }
    void SetReadFrameBound(int milliseconds) override { m_read.SetBound(milliseconds); }
    int DiscardArrived() override;
    int Arrived() override;

    Result StartRead(quint8* buffer, int size, int* bytesRead) override;
    Result PollRead(int* bytesRead) override;
    Result StartWrite(const quint8* data, int size) override;
    Result WaitWrite() override;

    // Totals since the link was made, for measurements.
    qint64 BytesWritten() const { return m_bytesWritten; }
    qint64 BytesRead() const { return m_read.Total(); }

protected:
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

    // Sends bytes as they are; false when the connection is gone.
    bool SendRaw(const QByteArray& bytes);
    // Takes what has come, waiting up to waitMilliseconds for something
    // when nothing is there; false once the connection is gone and
    // nothing more can come.
    bool Receive(int waitMilliseconds);
    bool Connected() const;
    void FailOpen(const QString& reason) { m_openFailure = reason; }
    // "host:port" for messages.
    const QString& Where() const { return m_where; }
    // The line bytes received and not yet taken.
    QByteArray& Incoming() { return m_incoming; }

private:
    qint64 TakeArrived(quint8* into, qint64 most);

    std::unique_ptr<QTcpSocket> m_socket;
    QString m_openFailure;
    QString m_where;
    QByteArray m_incoming;

    QElapsedTimer m_clock;
    ReadGather m_read;

    bool m_writing = false;
    int m_writeSize = 0;
    QElapsedTimer m_sinceWriteStart;
    qint64 m_bytesWritten = 0;
};
