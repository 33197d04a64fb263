#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

// A port as named where it enters the program (--port, the stored setting,
// the options), taken apart once: the name as given, which is what is stored
// and what the user reads back, the device it stands for and how it is shown.
// The link and the download take this value and never work a name out again.
class PortName
{
    Q_DECLARE_TR_FUNCTIONS(PortName)

public:
    enum class Kind
    {
        None,    // no port chosen: an empty name
        Device,  // a serial device: a name the system lists ("ttyUSB0", "pts/3",
                 // "COM3") or a device path
        Socket,  // socket://HOST:PORT, a serial line bridged to raw TCP: bytes only
        Rfc2217, // rfc2217://HOST:PORT, a bridged line whose settings the program sets
                 // through the Telnet COM port control option
        Invalid, // a name that cannot be a port: Problem() says why
    };

    PortName() = default;
    // Text in the form scheme://... is a network port; any other text is a
    // device name: names without a folder stand for a device in the system's
    // device folder. The name may hold bytes that are not UTF-8,
    // escaped as db/location/nativename.h describes; a control character
    // (a line break, a tab) makes it invalid, as no device is named so.
    static PortName Parse(const QString& given);

    Kind GetKind() const { return m_kind; }
    bool IsNone() const { return m_kind == Kind::None; }
    bool IsNetwork() const { return m_kind == Kind::Socket || m_kind == Kind::Rfc2217; }
    bool IsValid() const { return m_kind != Kind::Invalid; }
    // Why the name is no port, for the user; empty unless Invalid.
    const QString& Problem() const { return m_problem; }
    // A network port's host, as written but without IPv6 brackets, and its
    // TCP port; empty and 0 for other kinds.
    const QString& Host() const { return m_host; }
    quint16 TcpPort() const { return m_tcpPort; }
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
    QString TakeHostAndPort(const QString& rest);

    Kind m_kind = Kind::None;
    QString m_given;
    QString m_location;
    QByteArray m_devicePath;
    QString m_host;
    quint16 m_tcpPort = 0;
    QString m_problem;
};
