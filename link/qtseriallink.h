#pragma once

#include "link/readgather.h"
#include "link/seriallink.h"

#include <QElapsedTimer>
#include <memory>

class PortClaim;
class QSerialPort;
class SavedLineSettings;

// The serial link on Qt SerialPort's blocking calls; needs no event loop. All
// calls must come from one thread, the one that opens the port.
//
// The line carries binary bytes untouched whatever the port was set up with
// (only its hardware handshaking is kept), and the port gets its own settings
// back when it is closed. Reads are gathered from what the port has received
// at each poll, and end when the bytes asked for are there, the line has
// been quiet for the read interval after the first byte, or the frame bound
// has passed since the first byte. A write counts as done when the byte has
// left the driver's queue, and never sooner than one byte-time at 9600 baud after it was started: a
// pseudo-terminal, or a USB adapter, reports a write done at once, and request bytes must not pile
// up. The wait for one write is bounded.
class QtSerialLink : public SerialLink
{
public:
    // How long a write may take before the link gives up on it.
    static constexpr int kWriteBoundMilliseconds = 1000;
    // 10 bits a byte at 9600 baud.
    static constexpr qint64 kByteTimeNanoseconds = 1'041'667;

    QtSerialLink();
    ~QtSerialLink() override;

    bool MakeSignals() override { return true; }
    void CloseSignals() override {}

    using SerialLink::Open;
    bool Open(const PortName& portName) override;
    QString OpenFailureReason() const override { return m_openFailure; }
    void Close() override;

    void SetLineFormat() override;
    void RaiseRts() override;
    void RaiseDtr() override;
    void ClearErrors() override;
    void CancelIo() override;
    void PurgeInput() override;
    void PurgeOutput() override;
    void SetReadIntervalTimeout(int milliseconds) override;
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

private:
    qint64 TakeArrived(quint8* into, qint64 most);
    bool OutputDrained() const;
    bool PortBroken() const;

    std::unique_ptr<QSerialPort> m_port;
#ifdef Q_OS_UNIX
    std::unique_ptr<SavedLineSettings> m_saved;
    // Held from before the port is opened until after it is closed.
    std::unique_ptr<PortClaim> m_claim;
#endif
    QString m_openFailure;

    QElapsedTimer m_clock;
    ReadGather m_read;

    bool m_writing = false;
    int m_writeSize = 0;
    QElapsedTimer m_sinceWriteStart;

    qint64 m_bytesWritten = 0;
};
