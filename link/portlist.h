#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The serial ports of this machine as the platform lists them ("ttyS0",
// "ttyUSB0", "COM3"), in natural order (ttyS2 before ttyS10).
QStringList AvailablePortNames();

// What the system tells about one port, beside its name. Fields it does not
// know are empty.
struct PortDetails
{
    QString name;         // as AvailablePortNames() gives it
    QString location;     // the device, "/dev/ttyUSB0"
    QString description;  // the adapter's product text, "FT232R USB UART"
    QString manufacturer; // "FTDI"
    QString serialNumber; // the adapter's own serial number
    QString byIdPath;     // a name under /dev/serial/by-id that stays across re-plugging
};

// The ports of AvailablePortNames(), in the same order, with their details.
QList<PortDetails> AvailablePorts();

// The entry of byIdFolder that is a symbolic link to the device at location,
// or empty. Several links to one device give the first by name.
QString ByIdPath(const QString& location, const QString& byIdFolder);

// The details in words, for a tooltip: "FT232R USB UART, FTDI, serial number
// A1B2C3; /dev/serial/by-id/...". Empty when nothing is known.
QString PortSummary(const PortDetails& port);
