#include "link/portname.h"

#include "db/location/nativename.h"

namespace {

QString deviceLocation(const QString& given)
{
#ifdef Q_OS_UNIX
    if (given.startsWith(QLatin1Char('/')) || given.startsWith(QLatin1String("./")) ||
        given.startsWith(QLatin1String("../")))
        return given;
    return QStringLiteral("/dev/") + given;
#else
    return given;
#endif
}

} // namespace

PortName PortName::Parse(const QString& given)
{
    PortName port;
    port.m_given = given;
    if (given.isEmpty())
        return port;
    port.m_kind = Kind::Device;
    port.m_location = deviceLocation(given);
    port.m_devicePath = EncodeFileName(port.m_location);
    return port;
}

QString PortName::Shown() const
{
    return IsNone() ? QStringLiteral("no port") : ShownFileName(m_given);
}

QString PortName::ShownLocation() const
{
    return ShownFileName(m_location);
}
