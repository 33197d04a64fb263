#pragma once

#include <QByteArray>
#include <termios.h>

// The settings of a serial device as this program found them, given back when
// it lets the device go, and the raw binary line it uses meanwhile.
class SavedLineSettings
{
public:
    // Reads the device's settings. Its descriptor stays open until Release():
    // the port is opened in between, and closing the last descriptor of a
    // device could drop its control lines. devicePath is the system's bytes
    // of the device's path; none is read when it is empty.
    explicit SavedLineSettings(const QByteArray& devicePath);
    ~SavedLineSettings();
    SavedLineSettings(const SavedLineSettings&) = delete;
    SavedLineSettings& operator=(const SavedLineSettings&) = delete;

    void Release();

    // 9600 baud, 8 data bits, no parity, 1 stop bit, and every byte passed
    // through untouched both ways: no software flow control, no translation,
    // no echo, no special characters. Hardware handshaking stays as found.
    bool MakeRaw(int fd) const;
    // Puts back everything as it was found.
    bool Restore(int fd) const;

private:
    int m_fd = -1;
    bool m_valid = false;
    termios m_found{};
};
