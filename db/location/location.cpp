#include "db/location/location.h"

#include "db/location/nativename.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

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

// Whether a parameter of that name carries a secret: "password",
// "sslpassword", ODBC's "PWD", in any case.
bool isSecretName(const QString& name)
{
    return name.contains(QLatin1String("password"), Qt::CaseInsensitive) ||
           name.compare(QLatin1String("pwd"), Qt::CaseInsensitive) == 0;
}

// A name as it reads once every percent-encoding is undone (also encodings
// of encodings).
QString decoded(const QString& text)
{
    QString now = text;
    for (int round = 0; round < 8 && now.contains(QLatin1Char('%')); ++round) {
        const QString next = QUrl::fromPercentEncoding(now.toUtf8());
        if (next == now)
            break;
        now = next;
    }
    return now;
}

bool endsItem(QChar c)
{
    return c == u'&' || c == u';' || c == u'#' || c == u'"' || c == u'\'' || c.isSpace();
}

bool startsItem(QChar c)
{
    return c == u'?' || c == u'&' || c == u';' || c == u'{' || c == u'(' || c == u'"' ||
           c == u'\'' || c.isSpace();
}

bool endsLine(QChar c)
{
    return c == u'\n' || c == u'\r';
}

// The text without the password of the user information of each URI in it:
// from the ':' after the user name to the '@' that ends the user information.
// A password may hold '@', spaces and quotes, which an address cannot: that
// '@' is the last one before the next address ("://") or the end of the line.
QString withoutUserPasswords(QString text)
{
    for (qsizetype from = 0; (from = text.indexOf(QLatin1String("://"), from)) >= 0;) {
        const qsizetype userStart = from + 3;
        qsizetype limit = text.indexOf(QLatin1String("://"), userStart);
        if (limit < 0)
            limit = text.size();
        for (qsizetype c = userStart; c < limit; ++c) {
            if (endsLine(text.at(c))) {
                limit = c;
                break;
            }
        }
        qsizetype colon = userStart;
        while (colon < limit && !QStringView(u":/@?#").contains(text.at(colon)))
            ++colon;
        const qsizetype at = QStringView(text).first(limit).lastIndexOf(u'@');
        if (colon < limit && text.at(colon) == u':' && at > colon)
            text.remove(colon, at - colon);
        from = userStart;
    }
    return text;
}

// Where the value of a secret ends, which starts at from in the item that
// starts at item. A value may hold spaces, quotes and '@': only its
// separator ends it, '&' in a URI's query, ';' in a connection string,
// either elsewhere, or the end of the line. A value in quotes (the client
// library's key='value') or in ODBC's braces ends with them where items are
// separated by spaces; an item quoted as a whole ("password=...") ends with
// the last such quote.
qsizetype valueEnd(const QString& text, qsizetype item, qsizetype from)
{
    const QChar before = item > 0 ? text.at(item - 1) : QChar();
    const bool query = before == u'?' || before == u'&';
    const QStringView separators = query ? u"&" : before == u';' ? u";" : u"&;";
    qsizetype end = from;
    bool enclosed = false;
    if (!query && end < text.size() && (text.at(end) == u'\'' || text.at(end) == u'"')) {
        const QChar quote = text.at(end);
        for (++end; end < text.size() && text.at(end) != quote; ++end)
            if (text.at(end) == u'\\')
                ++end;
        end = std::min(end + 1, text.size());
        enclosed = true;
    } else if (!query && end < text.size() && text.at(end) == u'{') {
        // Up to the '}' that is not doubled.
        for (++end; end < text.size(); ++end) {
            if (text.at(end) != u'}')
                continue;
            if (end + 1 < text.size() && text.at(end + 1) == u'}')
                ++end;
            else
                break;
        }
        end = std::min(end + 1, text.size());
        enclosed = true;
    }
    if (enclosed && (before.isNull() || before.isSpace())) {
        while (end < text.size() && !endsItem(text.at(end)))
            ++end;
        return end;
    }
    const qsizetype valueStart = end;
    while (end < text.size() && !separators.contains(text.at(end)) && !endsLine(text.at(end)))
        ++end;
    if (before == u'"' || before == u'\'') {
        const qsizetype close = QStringView(text).first(end).lastIndexOf(before);
        if (close >= valueStart)
            end = close;
    }
    return end;
}

} // namespace

QString WithoutPasswords(const QString& text)
{
    QString shown = withoutUserPasswords(text);
    // Each "name=value" item of a query or a connection string whose name,
    // decoded, says it is a secret goes, with its separator.
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (i > 0 && !startsItem(shown.at(i - 1)))
            continue;
        // A name holds no separator of a URI's parts.
        qsizetype end = i;
        while (end < shown.size() && !endsItem(shown.at(end)) && !startsItem(shown.at(end)) &&
               !QStringView(u"/:@=").contains(shown.at(end)))
            ++end;
        QString name;
        if (end > i && end < shown.size() && shown.at(end) == u'=') {
            name = decoded(shown.mid(i, end - i));
            ++end;
        } else {
            // "password%3Dsecret": the '=' itself encoded.
            const QString item = decoded(shown.mid(i, end - i));
            if (!item.contains(u'='))
                continue;
            name = item.section(u'=', 0, 0);
        }
        if (!isSecretName(name))
            continue;
        end = valueEnd(shown, i, end);
        if (end < shown.size() && (shown.at(end) == u'&' || shown.at(end) == u';'))
            ++end;
        shown.remove(i, end - i);
        --i;
    }
    return shown;
}

QString ShownLocation(const QString& text)
{
    return Location::Parse(text).Shown();
}

Location Location::FromFile(const QString& path)
{
    Location l;
    if (path.isEmpty())
        return l;
    l.m_path = AbsolutePath(path);
    const QString suffix = QFileInfo(path).suffix().toLower();
    l.m_kind = (suffix == QLatin1String("mdb") || suffix == QLatin1String("accdb")) ? Kind::Access
                                                                                    : Kind::File;
    return l.finish();
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
    return l.finish();
}

Location Location::Parse(const QString& text)
{
    if (text.startsWith(QLatin1String("odbc:"), Qt::CaseInsensitive)) {
        Location l;
        l.m_kind = Kind::Odbc;
        l.m_path = text.mid(5);
        return l.finish();
    }
    if (!isServerUri(text))
        return FromFile(text);
    return parseServer(text).finish();
}

Location Location::parseServer(const QString& text)
{
    Location l;
    l.m_kind = Kind::Invalid;
    l.m_typed = WithoutPasswords(text);
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        l.m_error = QStringLiteral("\"%1\" is not a server address of the form "
                                   "postgresql://[user@]host[:port]/database.")
                        .arg(WithoutPasswords(text));
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
        else if (key.compare(QLatin1String("password"), Qt::CaseInsensitive) == 0)
            l.m_password = value;
        else if (isSecretName(decoded(key)))
            l.m_secrets.append({key, value});
        else
            l.m_params.append({key, value});
    }
    if (l.m_database.isEmpty() || l.m_database.contains(QLatin1Char('/'))) {
        l.m_error = QStringLiteral("The server address \"%1\" names no database "
                                   "(postgresql://[user@]host[:port]/database).")
                        .arg(WithoutPasswords(text));
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
    for (const auto& [key, value] : m_secrets)
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

Location& Location::finish()
{
    if (IsFile() || m_kind == Kind::Odbc)
        m_native = EncodeFileName(m_path);
    // Every message and log line names the location by this.
    switch (m_kind) {
    case Kind::Server:
        m_shown = m_port > 0 ? Title() + QLatin1Char(':') + QString::number(m_port) : Title();
        break;
    case Kind::File:
    case Kind::Access:
        m_shown = ShownFileName(m_path);
        break;
    case Kind::Odbc:
        m_shown = WithoutPasswords(ShownFileName(m_path));
        break;
    case Kind::Invalid:
        m_shown = m_typed;
        break;
    case Kind::None:
        break;
    }
    return *this;
}

Location Location::File() const
{
    if (IsFile())
        return *this;
    return m_kind == Kind::Odbc ? FromFile(m_path) : Location();
}

QString Location::Text() const
{
    switch (m_kind) {
    case Kind::Odbc:
        return QStringLiteral("odbc:") + m_path;
    case Kind::Server:
        return Kept();
    default:
        return m_path;
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
        return QStringLiteral("odbc:") + WithoutPasswords(m_path);
    default:
        return m_path;
    }
}

void RememberPassword(const Location& location)
{
    if (location.IsServer() && !location.Password().isEmpty())
        passwords().insert(location.Kept(), location.Password());
}
