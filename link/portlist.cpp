#include "link/portlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

namespace {

// Compares runs of digits by value, everything else by character.
bool naturalLess(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a.at(ei).isDigit())
                ++ei;
            while (ej < b.size() && b.at(ej).isDigit())
                ++ej;
            const QString na = a.mid(i, ei - i), nb = b.mid(j, ej - j);
            QString sa = na, sb = nb;
            while (sa.size() > 1 && sa.startsWith(QLatin1Char('0')))
                sa.remove(0, 1);
            while (sb.size() > 1 && sb.startsWith(QLatin1Char('0')))
                sb.remove(0, 1);
            if (sa.size() != sb.size())
                return sa.size() < sb.size();
            if (sa != sb)
                return sa < sb;
            i = ei;
            j = ej;
            continue;
        }
        if (a.at(i) != b.at(j))
            return a.at(i) < b.at(j);
        ++i;
        ++j;
    }
    return (a.size() - i) < (b.size() - j);
}

} // namespace

QStringList AvailablePortNames()
{
    QStringList names;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        if (!names.contains(info.portName()))
            names.append(info.portName());
    }
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

QList<PortDetails> AvailablePorts()
{
    QList<PortDetails> ports;
    const QString byIdFolder = QStringLiteral("/dev/serial/by-id");
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const bool seen = std::any_of(ports.cbegin(), ports.cend(), [&](const PortDetails& p) {
            return p.name == info.portName();
        });
        if (seen)
            continue;
        ports.append({info.portName(), info.systemLocation(), info.description(),
                      info.manufacturer(), info.serialNumber(),
                      ByIdPath(info.systemLocation(), byIdFolder)});
    }
    std::sort(ports.begin(), ports.end(), [](const PortDetails& a, const PortDetails& b) {
        return naturalLess(a.name, b.name);
    });
    return ports;
}

QString ByIdPath(const QString& location, const QString& byIdFolder)
{
    const QString device = QFileInfo(location).canonicalFilePath();
    if (device.isEmpty())
        return {};
    const QDir folder(byIdFolder);
    const QFileInfoList links =
        folder.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        if (link.isSymLink() && link.canonicalFilePath() == device)
            return link.absoluteFilePath();
    }
    return {};
}

QString PortSummary(const PortDetails& port)
{
    QStringList about;
    if (!port.description.isEmpty())
        about << port.description;
    if (!port.manufacturer.isEmpty() && port.manufacturer != port.description)
        about << port.manufacturer;
    if (!port.serialNumber.isEmpty())
        about << QCoreApplication::translate("PortList", "serial number %1").arg(port.serialNumber);
    QString text = about.join(QStringLiteral(", "));
    if (!port.byIdPath.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("; ")) + port.byIdPath;
    return text;
}
