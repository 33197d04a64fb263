#include "link/portname.h"

#include "db/location/nativename.h"
#include "db/record/visibletext.h"

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
    if (HasControlCharacter(given)) {
        port.m_kind = Kind::Invalid;
        port.m_error = QStringLiteral("The port name \"%1\" holds a control character (a tab, a "
                                      "line break or the like).")
                           .arg(VisibleText(given));
        return port;
    }
    port.m_kind = Kind::Device;
    port.m_location = deviceLocation(given);
    port.m_devicePath = EncodeFileName(port.m_location);
    return port;
}

QString PortName::Shown() const
{
    if (m_kind == Kind::Invalid)
        return VisibleText(m_given);
    return IsNone() ? QStringLiteral("no port") : ShownFileName(m_given);
}

QString PortName::ShownLocation() const
{
    return ShownFileName(m_location);
}
