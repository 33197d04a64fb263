#include "db/backend/serverdriver.h"

#include "db/backend/serverresult.h"

#include <QSocketNotifier>
#include <QSqlDatabase>
#include <QSqlError>
#include <libpq-fe.h>
#include <memory>
#include <utility>
#include <vector>

namespace {

// The settings the conversions rely on, made while the connection starts.
const char kStartupOptions[] = "-c DateStyle=ISO";

// Splits Qt's "key=value;key=value" connect options, a value quoted as in a
// connection string ('...' with \' and \\) read without its quotes.
std::vector<std::pair<QByteArray, QByteArray>> splitOptions(const QString& options)
{
    std::vector<std::pair<QByteArray, QByteArray>> out;
    const QByteArray text = options.toUtf8();
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ';' || text[i] == ' '))
            ++i;
        const qsizetype eq = text.indexOf('=', i);
        if (eq < 0)
            break;
        QByteArray key = text.mid(i, eq - i).trimmed();
        QByteArray value;
        i = eq + 1;
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (i < text.size() && text[i] == '\'') {
            for (++i; i < text.size() && text[i] != '\''; ++i) {
                if (text[i] == '\\' && i + 1 < text.size())
                    ++i;
                value += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ';')
                value += text[i++];
            value = value.trimmed();
        }
        if (!key.isEmpty())
            out.emplace_back(std::move(key), std::move(value));
    }
    return out;
}

} // namespace

QString ServerDriver::Name()
{
    return QStringLiteral("ZQPSQL");
}

void ServerDriver::Register()
{
    static const bool registered = [] {
        QSqlDatabase::registerSqlDriver(Name(), new QSqlDriverCreator<ServerDriver>);
        return true;
    }();
    Q_UNUSED(registered)
}

ServerDriver::ServerDriver(QObject* parent) : QSqlDriver(parent)
{
    setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
}

ServerDriver::~ServerDriver()
{
    ServerDriver::close();
}

bool ServerDriver::hasFeature(DriverFeature feature) const
{
    switch (feature) {
    case Transactions:
    case QuerySize:
    case BLOB:
    case Unicode:
    case PreparedQueries:
    case PositionalPlaceholders:
    case LastInsertId:
    case LowPrecisionNumbers:
    case EventNotifications:
        return true;
    default:
        return false;
    }
}

bool ServerDriver::open(const QString& db, const QString& user, const QString& password,
                        const QString& host, int port, const QString& connectOptions)
{
    close();
    std::vector<std::pair<QByteArray, QByteArray>> params;
    if (!host.isEmpty())
        params.emplace_back("host", host.toUtf8());
    if (port > 0)
        params.emplace_back("port", QByteArray::number(port));
    if (!db.isEmpty())
        params.emplace_back("dbname", db.toUtf8());
    if (!user.isEmpty())
        params.emplace_back("user", user.toUtf8());
    if (!password.isEmpty())
        params.emplace_back("password", password.toUtf8());
    QByteArray options = kStartupOptions;
    for (auto& [key, value] : splitOptions(connectOptions)) {
        if (key == "options")
            options += ' ' + value;
        else if (key != "client_encoding")
            params.emplace_back(std::move(key), std::move(value));
    }
    params.emplace_back("options", options);
    params.emplace_back("client_encoding", "UTF8");
    params.emplace_back("fallback_application_name", "zqreader");

    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (const auto& [key, value] : params) {
        keys.push_back(key.constData());
        values.push_back(value.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    m_conn = PQconnectdbParams(keys.data(), values.data(), 0);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        setLastError(QSqlError(QStringLiteral("Unable to connect"),
                               QString::fromUtf8(PQerrorMessage(m_conn)),
                               QSqlError::ConnectionError));
        PQfinish(m_conn);
        m_conn = nullptr;
        setOpenError(true);
        return false;
    }
    // What the server says outside a statement (the "terminating connection"
    // of a server shutting down) would be printed raw on standard error; the
    // loss of the connection is told by the failure it brings.
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
    setOpen(true);
    setOpenError(false);
    return true;
}

bool ServerDriver::isOpen() const
{
    return m_conn && PQstatus(m_conn) == CONNECTION_OK;
}

void ServerDriver::close()
{
    delete m_notifier;
    m_notifier = nullptr;
    m_channels.clear();
    if (m_conn) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
    setOpen(false);
    setOpenError(false);
}

QSqlResult* ServerDriver::createResult() const
{
    return new ServerResult(this);
}

QVariant ServerDriver::handle() const
{
    return QVariant::fromValue(static_cast<void*>(m_conn));
}

QByteArray ServerDriver::NextStatementName() const
{
    return "zq_" + QByteArray::number(++m_statements);
}

bool ServerDriver::run(const char* sql, const QString& failure, QSqlError::ErrorType type)
{
    if (!isOpen()) {
        setLastError(QSqlError(failure, QStringLiteral("The database is not open."), type));
        return false;
    }
    const std::unique_ptr<PGresult, void (*)(PGresult*)> result(PQexec(m_conn, sql), PQclear);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
        setLastError(QSqlError(
            failure,
            QString::fromUtf8(result ? PQresultErrorMessage(result.get()) : PQerrorMessage(m_conn)),
            type));
        return false;
    }
    // A transaction that failed on the way ends in a rollback, told only by
    // the command's tag.
    if (qstrcmp(sql, "COMMIT") == 0 && qstrcmp(PQcmdStatus(result.get()), "ROLLBACK") == 0) {
        setLastError(QSqlError(
            failure, QStringLiteral("The transaction was rolled back by the server."), type));
        return false;
    }
    return true;
}

bool ServerDriver::beginTransaction()
{
    return run("BEGIN", QStringLiteral("Could not begin transaction"), QSqlError::TransactionError);
}

bool ServerDriver::commitTransaction()
{
    return run("COMMIT", QStringLiteral("Could not commit transaction"),
               QSqlError::TransactionError);
}

bool ServerDriver::rollbackTransaction()
{
    return run("ROLLBACK", QStringLiteral("Could not rollback transaction"),
               QSqlError::TransactionError);
}

QString ServerDriver::escapeIdentifier(const QString& identifier, IdentifierType type) const
{
    if (identifier.isEmpty() || isIdentifierEscaped(identifier, type))
        return identifier;
    QString out = identifier;
    out.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

bool ServerDriver::subscribeToNotification(const QString& name)
{
    if (!isOpen() || m_channels.contains(name))
        return false;
    const int socket = PQsocket(m_conn);
    if (socket < 0)
        return false;
    const QByteArray sql = "LISTEN " + escapeIdentifier(name, FieldName).toUtf8();
    if (!run(sql.constData(), QStringLiteral("Unable to subscribe"), QSqlError::StatementError))
        return false;
    m_channels << name;
    if (!m_notifier) {
        m_notifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ServerDriver::DeliverNotifications);
    }
    return true;
}

bool ServerDriver::unsubscribeFromNotification(const QString& name)
{
    if (!isOpen() || !m_channels.contains(name))
        return false;
    const QByteArray sql = "UNLISTEN " + escapeIdentifier(name, FieldName).toUtf8();
    if (!run(sql.constData(), QStringLiteral("Unable to unsubscribe"), QSqlError::StatementError))
        return false;
    m_channels.removeAll(name);
    if (m_channels.isEmpty()) {
        delete m_notifier;
        m_notifier = nullptr;
    }
    return true;
}

QStringList ServerDriver::subscribedToNotifications() const
{
    return m_channels;
}

void ServerDriver::DeliverNotifications()
{
    if (!m_conn)
        return;
    if (!PQconsumeInput(m_conn) || PQstatus(m_conn) == CONNECTION_BAD) {
        NoteLoss();
        return;
    }
    const int self = PQbackendPID(m_conn);
    while (PGnotify* n = PQnotifies(m_conn)) {
        const QString channel = QString::fromUtf8(n->relname);
        const NotificationSource source = n->be_pid == self ? SelfSource : OtherSource;
        const QString payload = QString::fromUtf8(n->extra);
        PQfreemem(n);
        if (m_channels.contains(channel))
            Q_EMIT notification(channel, source, payload);
    }
}

void ServerDriver::NoteLoss()
{
    if (!m_conn || PQstatus(m_conn) != CONNECTION_BAD || !m_notifier)
        return;
    // Maybe from within the notifier's own signal: off at once, gone later.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
    m_channels.clear();
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT ConnectionLost(); }, Qt::QueuedConnection);
}
