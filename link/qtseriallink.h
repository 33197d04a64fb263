#pragma once

#include "link/devicelink.h"

#include <QCoreApplication>
#include <memory>

class PortClaim;
class QSerialPort;
namespace platform {
class SavedLineSettings;
}

// The serial link on Qt SerialPort's blocking calls; needs no event loop. All
// calls must come from one thread, the one that opens the port.
//
// The line carries binary bytes untouched whatever the port was set up with
// (only its hardware handshaking is kept), and the port gets its own settings
// back when it is closed. Reads are gathered from what the port has received
// at each poll. A write counts as done when the byte has left the driver's
// queue, and never sooner than one byte-time at 9600 baud after it was
// started: a pseudo-terminal, or a USB adapter, reports a write done at once,
// and request bytes must not pile up.
class QtSerialLink : public DeviceLink
{
    Q_DECLARE_TR_FUNCTIONS(QtSerialLink)

public:
    QtSerialLink();
    ~QtSerialLink() override;

    using SerialLink::Open;
    bool Open(const PortName& portName) override;
    void Close() override;

    void SetLineFormat() override;
    void RaiseRts() override;
    void RaiseDtr() override;
    void ClearErrors() override;
    void PurgeInput() override;
    void PurgeOutput() override;
    int Arrived() override;

protected:
    QIODevice* Device() const override;
    qint64 TakeArrived(quint8* into, qint64 most) override;
    bool AwaitBytes(bool frameBegun) override;
    bool Send(const quint8* data, int size) override;
    Result WriteStalled() override;
    Result AwaitOnLine() override;

private:
    bool OutputDrained() const;
    bool PortBroken() const;

    std::unique_ptr<QSerialPort> m_port;
#ifdef Q_OS_UNIX
    std::unique_ptr<platform::SavedLineSettings> m_saved;
    // Held from before the port is opened until after it is closed.
    std::unique_ptr<PortClaim> m_claim;
#endif
};
