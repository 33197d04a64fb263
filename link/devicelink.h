#pragma once

#include "link/readgather.h"
#include "link/seriallink.h"

#include <QElapsedTimer>
#include <QString>
#include <utility>

class QIODevice;

// What a serial link over a Qt I/O device (a serial port, a TCP socket) does
// the same on every device. Reads are gathered from the bytes as they arrive
// and end when the bytes asked for are there, the line has been quiet for the
// read interval after the first byte, or the frame bound has passed since the
// first byte. A write counts as done once the device has passed the bytes on,
// and never sooner than the line could carry them at 9600 baud; the wait for
// it is bounded. Blocking calls only, from one thread; needs no event loop.
//
// A device hooks in where it differs: how arrived bytes are taken, how a
// write is handed over and what a stalled one means.
class DeviceLink : public SerialLink
{
public:
    // How long a write may take before the link gives up on it.
    static constexpr int kWriteBoundMilliseconds = 1000;
    // 10 bits a byte at 9600 baud.
    static constexpr qint64 kByteTimeNanoseconds = 1'041'667;
    // What is received and not yet read is kept within this: a far end that
    // floods the link cannot fill the memory, nor keep a discard going for
    // ever.
    static constexpr qint64 kMostBuffered = qint64{64} * 1024;

    bool MakeSignals() override { return true; }
    void CloseSignals() override {}

    PortOpenFailure OpenFailure() const override { return m_openFailure; }

    void CancelIo() override;
    void SetReadIntervalTimeout(int milliseconds) override { m_read.SetInterval(milliseconds); }
    void SetReadFrameBound(int milliseconds) override { m_read.SetBound(milliseconds); }
    int DiscardArrived() override;

    Result StartRead(quint8* buffer, int size, int* bytesRead) override;
    Result PollRead(int* bytesRead) override;
    Result StartWrite(const quint8* data, int size) override;
    Result WaitWrite() override;

    // Totals since the link was made, for measurements.
    qint64 BytesWritten() const { return m_bytesWritten; }
    qint64 BytesRead() const { return m_read.Total(); }

protected:
    DeviceLink();

    // The open device; null while the link is closed.
    virtual QIODevice* Device() const = 0;
    // Copies up to `most` bytes that have arrived into `into`, without
    // waiting; returns how many, 0 when none are there.
    virtual qint64 TakeArrived(quint8* into, qint64 most) = 0;
    // While a read is under way and not yet complete: waits a little for
    // more bytes. False once nothing more can come, which fails the read.
    virtual bool AwaitBytes(bool frameBegun) = 0;
    // False when a read cannot even start.
    virtual bool ReadCanStart() { return true; }
    // Hands a write's bytes to the device; false when they cannot go.
    virtual bool Send(const quint8* data, int size) = 0;
    // The device did not pass the bytes on within a wait: PortTimeout or
    // Failed ends the write's wait, Pending waits on.
    virtual Result WriteStalled() = 0;
    // Once the device has passed the bytes on: waits until they are on the
    // line, within WriteTimeLeft().
    virtual Result AwaitOnLine() { return Result::Completed; }

    void ClearOpenFailure() { m_openFailure = {}; }
    void FailOpen(PortOpenFailure failure) { m_openFailure = std::move(failure); }
    void FailOpen(PortOpenFailure::Reason reason, const QString& text) { FailOpen({reason, text}); }
    // How long the pending write may still take, in milliseconds.
    int WriteTimeLeft() const;

private:
    PortOpenFailure m_openFailure;

    QElapsedTimer m_clock;
    ReadGather m_read;

    bool m_writing = false;
    int m_writeSize = 0;
    QElapsedTimer m_sinceWriteStart;
    qint64 m_bytesWritten = 0;
};
