#pragma once

#include "platform/filestatus.h"

#include <QByteArray>
#include <memory>

// The calls a serial line needs beyond Qt SerialPort's. A port's handle is
// the one QSerialPort::handle() gives.
namespace platform {

// The settings of a serial device as this program found them, given back when
// it lets the device go, and the raw binary line it uses meanwhile.
class SavedLineSettings
{
public:
    // Reads the device's settings. The device stays open until Release(): the
    // port is opened in between, and closing the last handle of a device
    // could drop its control lines. devicePath is the system's bytes of the
    // device's path; none is read when it is empty.
    explicit SavedLineSettings(const QByteArray& devicePath);
    ~SavedLineSettings();
    SavedLineSettings(const SavedLineSettings&) = delete;
    SavedLineSettings& operator=(const SavedLineSettings&) = delete;

    void Release();

    // 9600 baud, 8 data bits, no parity, 1 stop bit, and every byte passed
    // through untouched both ways: no software flow control, no translation,
    // no echo, no special characters. Hardware handshaking stays as found.
    bool MakeRaw(qintptr port) const;
    // Puts back everything as it was found.
    bool Restore(qintptr port) const;

private:
    struct Found;
    std::unique_ptr<Found> m_found; // set when the settings were read
    qintptr m_device = -1;
};

// Whether the device is a terminal of this machine (the terminal the program
// runs in, the consoles), never a line to a device.
bool IsTerminalOfTheMachine(const FileStatus& device);
// Whether the port's device is gone or broken, when a write has failed.
bool IsLineBroken(qintptr port);
// Whether the port's driver has sent every byte written; true when it does
// not tell.
bool IsOutputDrained(qintptr port);

} // namespace platform
