#pragma once

#include "platform/file.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

// A serial device held for one download: the device itself opened and locked
// (platform::File::TryLock()), without waiting. A second download is refused
// whatever name it uses for the same device (a symbolic link, a
// /dev/serial/by-id/ name), and for root too, whom the terminal's exclusive
// mode does not stop; the lock files of Qt SerialPort are named after the port
// name and do not see the other names. The lock goes with the open device,
// also when the program is killed.
//
// Before anything is sent, the claim also tells a serial port from a file, a
// folder or a device that is no terminal (/dev/null), and from the terminals
// that are not lines to a device (/dev/tty, the consoles).
class PortClaim
{
    Q_DECLARE_TR_FUNCTIONS(PortClaim)

public:
    enum class Result
    {
        Claimed,
        NotSerial,  // Why(): what it is instead
        Held,       // another download (or a program that locks it so) holds it
        Gone,       // Why(): the device node is there, the device is not
        OpenFailed, // Why(): the system's reason; the caller looks closer
    };

    PortClaim() = default;
    ~PortClaim();
    PortClaim(const PortClaim&) = delete;
    PortClaim& operator=(const PortClaim&) = delete;

    // devicePath: the system's bytes of the device's path.
    Result Take(const QByteArray& devicePath);
    // What the device is instead of a serial port, or why it could not be
    // opened.
    QString Why() const { return m_why; }
    // Lets the device go; the port's own handle must be closed first.
    void Release();

private:
    platform::File m_device;
    QString m_why;
};
