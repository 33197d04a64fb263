#include "db/location/location.h"

#include "db/location/nativename.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace {

QHash<QString, QString>& passwords()
{
    static QHash<QString, QString> kept;
    return kept;
}

bool isServerUri(const QString& text)
{
    return text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

// A value for the client library's "key='value'" form.
QString quotedValue(const QString& value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

} // namespace

Location Location::FromFile(const QString& path)
{
    Location l;
    if (path.isEmpty())
        return l;
    l.m_path = path;
    const QString suffix = QFileInfo(path).suffix().toLower();
    l.m_kind = (suffix == QLatin1String("mdb") || suffix == QLatin1String("accdb")) ? Kind::Access
                                                                                    : Kind::File;
    return l;
}

Location Location::ForServer(const QString& host, int port, const QString& database,
                             const QString& user)
{
    Location l;
    l.m_kind = Kind::Server;
    l.m_host = host;
    l.m_port = port > 0 ? port : -1;
    l.m_database = database;
    l.m_user = user;
    l.m_password = passwords().value(l.Kept());
    return l;
}

namespace {

// The address as typed, for messages about an address that cannot be used:
// QUrl gives nothing back for some of those.
QString withoutPassword(const QString& text)
{
    static const QRegularExpression password(QStringLiteral("^([^:]+://[^/@:]*):[^/@]*@"));
    QString shown = text;
    return shown.replace(password, QStringLiteral("\\1@"));
}

} // namespace

Location Location::Parse(const QString& text)
{
    if (text.startsWith(QLatin1String("odbc:"), Qt::CaseInsensitive)) {
        Location l;
        l.m_kind = Kind::Odbc;
        l.m_path = text.mid(5);
        return l;
    }
    if (!isServerUri(text))
        return FromFile(text);

    Location l;
    l.m_kind = Kind::Invalid;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        l.m_error = QStringLiteral("\"%1\" is not a server address of the form "
                                   "postgresql://[user@]host[:port]/database.")
                        .arg(withoutPassword(text));
        return l;
    }
    l.m_host = url.host(QUrl::FullyDecoded);
    l.m_port = url.port(-1);
    l.m_user = url.userName(QUrl::FullyDecoded);
    l.m_password = url.password(QUrl::FullyDecoded);
    l.m_database = url.path(QUrl::FullyDecoded).mid(1);
    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host"))
            l.m_host = value;
        else if (key == QLatin1String("port"))
            l.m_port = value.toInt();
        else if (key == QLatin1String("dbname"))
            l.m_database = value;
        else if (key == QLatin1String("user"))
            l.m_user = value;
        else if (key == QLatin1String("password"))
            l.m_password = value;
        else
            l.m_params.append({key, value});
    }
    if (l.m_database.isEmpty() || l.m_database.contains(QLatin1Char('/'))) {
        l.m_error = QStringLiteral("The server address \"%1\" names no database "
                                   "(postgresql://[user@]host[:port]/database).")
                        .arg(withoutPassword(text));
        return l;
    }
    l.m_kind = Kind::Server;
    if (l.m_password.isEmpty())
        l.m_password = passwords().value(l.Kept());
    return l;
}

QString Location::ConnectOptions() const
{
    QStringList pairs;
    for (const auto& [key, value] : m_params)
        pairs << key + QLatin1Char('=') + quotedValue(value);
    return pairs.join(QLatin1Char(';'));
}

QString Location::Title() const
{
    switch (m_kind) {
    case Kind::Server:
        return QStringLiteral("%1 on %2")
            .arg(m_database, m_host.isEmpty() || m_host.startsWith(QLatin1Char('/'))
                                 ? QStringLiteral("localhost")
                                 : m_host);
    case Kind::File:
    case Kind::Access:
        return ShownFileName(QFileInfo(m_path).fileName());
    default:
        return Shown();
    }
}

QString Location::Shown() const
{
    switch (m_kind) {
    case Kind::Server:
        return m_port > 0 ? Title() + QLatin1Char(':') + QString::number(m_port) : Title();
    case Kind::File:
    case Kind::Access:
    case Kind::Odbc:
        return ShownFileName(m_path);
    default:
        return {};
    }
}

QString Location::Kept() const
{
    switch (m_kind) {
    case Kind::Server: {
        QUrl url;
        url.setScheme(QStringLiteral("postgresql"));
        url.setUserName(m_user);
        const bool socketFolder = m_host.startsWith(QLatin1Char('/'));
        if (!socketFolder)
            url.setHost(m_host);
        url.setPath(QLatin1Char('/') + m_database);
        QUrlQuery query;
        if (socketFolder) {
            query.addQueryItem(QStringLiteral("host"),
                               QString::fromLatin1(QUrl::toPercentEncoding(m_host)));
            if (m_port > 0)
                query.addQueryItem(QStringLiteral("port"), QString::number(m_port));
        } else if (m_port > 0) {
            url.setPort(m_port);
        }
        for (const auto& [key, value] : m_params)
            query.addQueryItem(QString::fromLatin1(QUrl::toPercentEncoding(key)),
                               QString::fromLatin1(QUrl::toPercentEncoding(value)));
        if (!query.isEmpty())
            url.setQuery(query.query(QUrl::FullyEncoded), QUrl::StrictMode);
        return url.toString(QUrl::FullyEncoded);
    }
    case Kind::Odbc:
        return QStringLiteral("odbc:") + m_path;
    default:
        return m_path;
    }
}

void RememberPassword(const Location& location)
{
    if (location.IsServer() && !location.Password().isEmpty())
        passwords().insert(location.Kept(), location.Password());
}
