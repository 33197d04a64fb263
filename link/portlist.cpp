#include "link/portlist.h"

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
