#include "link/portname.h"

#include "db/location/nativename.h"
#include "db/record/visibletext.h"

#include <QHostAddress>
#include <QRegularExpression>

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

// scheme://rest, a network port's form.
QRegularExpressionMatch matchUrl(const QString& given)
{
    static const QRegularExpression url(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*)://(.*)$"),
                                        QRegularExpression::DotMatchesEverythingOption);
    return url.match(given);
}

// A host name as DNS or /etc/hosts spells it.
bool plausibleHostName(const QString& host)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9_.-]*)$"));
    return name.match(host).hasMatch();
}

} // namespace

// HOST:PORT or [IPV6]:PORT after the scheme; on failure, why.
QString PortName::TakeHostAndPort(const QString& rest)
{
    QString host;
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return tr("the IPv6 address has no closing bracket");
        host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.startsWith(QLatin1Char(':')))
            return tr("no TCP port after the host (HOST:PORT)");
        portText = after.mid(1);
        if (host.isEmpty())
            return tr("no host");
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
            return tr("\"%1\" in brackets is not an IPv6 address").arg(host);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return tr("no TCP port after the host (HOST:PORT)");
        host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (host.isEmpty())
            return tr("no host");
        if (host.contains(QLatin1Char(':')))
            return tr("an IPv6 address must be written in brackets ([::1]:PORT)");
        if (!plausibleHostName(host))
            return tr("\"%1\" is not a host name or address").arg(host);
    }
    if (portText.isEmpty())
        return tr("no TCP port after the host (HOST:PORT)");
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const int number = digits.match(portText).hasMatch() ? portText.toInt() : 0;
    if (number < 1 || number > 65535)
        return tr("the TCP port must be a number from 1 to 65535");
    m_host = host;
    m_tcpPort = static_cast<quint16>(number);
    return {};
}

PortName PortName::Parse(const QString& given)
{
    PortName port;
    port.m_given = given;
    if (given.isEmpty())
        return port;
    const QRegularExpressionMatch match = matchUrl(given);
    // A user name and password, which a serial device server is not given:
    // the password is not to be shown anywhere.
    if (match.hasMatch() && match.captured(2).contains(QLatin1Char('@'))) {
        port.m_kind = Kind::Invalid;
        port.m_problem = tr("%1 is not a port: a port address takes no user name or "
                            "password.")
                             .arg(port.Shown());
        return port;
    }
    if (HasControlCharacter(given)) {
        port.m_kind = Kind::Invalid;
        port.m_problem = tr("The port name \"%1\" holds a control character (a tab, a "
                            "line break or the like).")
                             .arg(port.Shown());
        return port;
    }
    if (match.hasMatch()) {
        const QString scheme = match.captured(1).toLower();
        QString problem;
        if (scheme == QLatin1String("socket"))
            port.m_kind = Kind::Socket;
        else if (scheme == QLatin1String("rfc2217"))
            port.m_kind = Kind::Rfc2217;
        else
            problem =
                tr("the kind \"%1\" is not known (socket:// or rfc2217://)").arg(match.captured(1));
        if (problem.isEmpty())
            problem = port.TakeHostAndPort(match.captured(2));
        if (!problem.isEmpty()) {
            port.m_kind = Kind::Invalid;
            port.m_host.clear();
            port.m_tcpPort = 0;
            port.m_problem = tr("%1 is not a port: %2.").arg(port.Shown(), problem);
        }
        port.m_location = given;
        return port;
    }
    port.m_kind = Kind::Device;
    port.m_location = deviceLocation(given);
    port.m_devicePath = EncodeFileName(port.m_location);
    return port;
}

QString PortName::Shown() const
{
    if (m_kind == Kind::Invalid) {
        // Without the user information: what comes before the host's '@'.
        const QRegularExpressionMatch match = matchUrl(m_given);
        const qsizetype at =
            match.hasMatch() ? match.captured(2).lastIndexOf(QLatin1Char('@')) : -1;
        if (at >= 0)
            return VisibleText(match.captured(1) + QLatin1String("://") +
                               match.captured(2).mid(at + 1));
        return VisibleText(m_given);
    }
    return IsNone() ? tr("no port") : ShownFileName(m_given);
}

QString PortName::ShownLocation() const
{
    return ShownFileName(m_location);
}
