#pragma once

#include <QByteArray>
#include <QString>

// A port as named where it enters the program (--port, the stored setting,
// the options), taken apart once: the name as given, which is what is stored
// and what the user reads back, the device it stands for and how it is shown.
// The link and the download take this value and never work a name out again.
class PortName
{
public:
    enum class Kind
    {
        None,    // no port chosen: an empty name
        Device,  // a serial device: a name the system lists ("ttyUSB0", "pts/3",
                 // "COM3") or a device path
        Invalid, // a name that cannot be a port; Error() says why
    };

    PortName() = default;
    // Names without a folder stand for a device in the system's device
    // folder. The name may hold bytes that are not UTF-8, escaped as
    // db/location/nativename.h describes; a control character (a line break,
    // a tab) makes it invalid, as no device is named so.
    static PortName Parse(const QString& given);

    Kind GetKind() const { return m_kind; }
    bool IsNone() const { return m_kind == Kind::None; }
    // Why the name cannot be a port; empty for any other kind.
    const QString& Error() const { return m_error; }
    // The name as given: what is stored and handed back to the options.
    const QString& Given() const { return m_given; }
    // The device to open, as text: "/dev/ttyUSB0".
    const QString& Location() const { return m_location; }
    // The device to open and lock, as the system's bytes.
    const QByteArray& DevicePath() const { return m_devicePath; }
    // The name for messages and log lines; "no port" when none is chosen.
    QString Shown() const;
    // The device for messages.
    QString ShownLocation() const;

private:
    Kind m_kind = Kind::None;
    QString m_given;
    QString m_error;
    QString m_location;
    QByteArray m_devicePath;
};
