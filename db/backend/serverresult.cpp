#include "db/backend/serverresult.h"

#include "db/backend/serverdriver.h"
#include "db/backend/servervalue.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <libpq-fe.h>
#include <vector>

namespace {

QSqlError statementError(const QString& what, PGconn* conn, const PGresult* result)
{
    QString text = QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(conn));
    QString code;
    if (result) {
        code = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        if (!code.isEmpty())
            text += QStringLiteral("(%1)").arg(code);
    }
    return {what, text, QSqlError::StatementError, code};
}

} // namespace

ServerResult::ServerResult(const ServerDriver* driver)
    : QSqlResult(driver), m_result(nullptr, PQclear)
{
}

ServerResult::~ServerResult()
{
    m_result.reset();
    dropStatement();
}

const ServerDriver* ServerResult::serverDriver() const
{
    return static_cast<const ServerDriver*>(driver());
}

void ServerResult::dropStatement()
{
    if (m_statement.isEmpty())
        return;
    const ServerDriver* d = serverDriver();
    if (d && d->isOpen()) {
        const QByteArray sql = "DEALLOCATE " + m_statement;
        PQclear(PQexec(d->Connection(), sql.constData()));
    }
    m_statement.clear();
}

// Whether d's connection can take a statement; if not, says why.
bool ServerResult::connected(const ServerDriver* d)
{
    if (d && d->isOpen())
        return true;
    // The client library keeps why it lost the connection.
    const QString why =
        d && d->Connection() ? QString::fromUtf8(PQerrorMessage(d->Connection())) : QString();
    setLastError(
        QSqlError(QStringLiteral("Unable to execute statement"),
                  why.trimmed().isEmpty() ? QStringLiteral("The database is not open.") : why,
                  QSqlError::ConnectionError));
    noteLoss();
    return false;
}

void ServerResult::noteLoss() const
{
    // The driver's notifications are its own state, not the statement's.
    if (const ServerDriver* d = serverDriver())
        const_cast<ServerDriver*>(d)->NoteLoss();
}

// Keeps the result of a statement just run; reports its failure.
pg_result* ServerResult::takeResult(pg_result* result)
{
    m_result.reset(result);
    m_rows = 0;
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_TUPLES_OK) {
        m_rows = PQntuples(result);
        setSelect(true);
        setActive(true);
    } else if (status == PGRES_COMMAND_OK) {
        setSelect(false);
        setActive(true);
    } else {
        setLastError(statementError(QStringLiteral("Unable to create query"),
                                    serverDriver()->Connection(), result));
        m_result.reset();
        setActive(false);
        noteLoss();
        return nullptr;
    }
    if (!serverDriver()->subscribedToNotifications().isEmpty())
        QMetaObject::invokeMethod(const_cast<ServerDriver*>(serverDriver()),
                                  &ServerDriver::DeliverNotifications, Qt::QueuedConnection);
    return result;
}

// Forgets the rows of the last run; the driver if its connection can take a
// statement.
const ServerDriver* ServerResult::begin()
{
    m_result.reset();
    m_rows = 0;
    setActive(false);
    setAt(QSql::BeforeFirstRow);
    const ServerDriver* d = serverDriver();
    return connected(d) ? d : nullptr;
}

bool ServerResult::reset(const QString& query)
{
    const ServerDriver* d = begin();
    if (!d)
        return false;
    return takeResult(PQexec(d->Connection(), query.toUtf8().constData())) != nullptr;
}

bool ServerResult::prepare(const QString& query)
{
    dropStatement();
    const ServerDriver* d = begin();
    if (!d)
        return false;
    const QByteArray sql = NumberedPlaceholders(query, &m_params);
    const QByteArray name = d->NextStatementName();
    const std::unique_ptr<PGresult, void (*)(PGresult*)> made(
        PQprepare(d->Connection(), name.constData(), sql.constData(), 0, nullptr), PQclear);
    if (PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
        setLastError(statementError(QStringLiteral("Unable to prepare statement"), d->Connection(),
                                    made.get()));
        noteLoss();
        return false;
    }
    m_statement = name;
    return true;
}

bool ServerResult::exec()
{
    const ServerDriver* d = begin();
    if (!d)
        return false;
    if (m_statement.isEmpty()) {
        setLastError(QSqlError(QStringLiteral("Unable to execute statement"),
                               QStringLiteral("The statement is not prepared."),
                               QSqlError::StatementError));
        return false;
    }
    const QList<QVariant>& values = boundValues();
    if (values.size() != m_params) {
        setLastError(QSqlError(QStringLiteral("Unable to execute statement"),
                               QStringLiteral("%1 values given to a statement that takes %2.")
                                   .arg(values.size())
                                   .arg(m_params),
                               QSqlError::StatementError));
        return false;
    }
    std::vector<QByteArray> texts(size_t(values.size()));
    std::vector<const char*> pointers(size_t(values.size()), nullptr);
    std::vector<int> lengths(size_t(values.size()), 0);
    std::vector<int> formats(size_t(values.size()), 0);
    for (qsizetype i = 0; i < values.size(); ++i) {
        const auto at = size_t(i);
        if (values.at(i).isNull())
            continue;
        bool binary = false;
        texts[at] = ServerParameterText(values.at(i), &binary);
        pointers[at] = texts[at].constData();
        lengths[at] = int(texts[at].size());
        formats[at] = binary ? 1 : 0;
    }
    return takeResult(PQexecPrepared(d->Connection(), m_statement.constData(), m_params,
                                     pointers.data(), lengths.data(), formats.data(), 0)) !=
           nullptr;
}

QVariant ServerResult::data(int field)
{
    if (!m_result || at() < 0 || at() >= m_rows || field < 0 || field >= PQnfields(m_result.get()))
        return {};
    const unsigned int type = PQftype(m_result.get(), field);
    if (PQgetisnull(m_result.get(), at(), field))
        return QVariant(ServerColumnType(type));
    return ServerColumnValue(type, PQgetvalue(m_result.get(), at(), field),
                             PQgetlength(m_result.get(), at(), field), numericalPrecisionPolicy());
}

bool ServerResult::isNull(int field)
{
    return !m_result || at() < 0 || at() >= m_rows || field < 0 ||
           field >= PQnfields(m_result.get()) || PQgetisnull(m_result.get(), at(), field);
}

bool ServerResult::fetch(int row)
{
    if (!isActive() || !isSelect() || row < 0 || row >= m_rows)
        return false;
    if (isForwardOnly() && row < at())
        return false;
    setAt(row);
    return true;
}

bool ServerResult::fetchFirst()
{
    return fetch(0);
}

bool ServerResult::fetchLast()
{
    return fetch(m_rows - 1);
}

int ServerResult::size()
{
    return isActive() && isSelect() ? m_rows : -1;
}

int ServerResult::numRowsAffected()
{
    return m_result ? QByteArray(PQcmdTuples(m_result.get())).toInt() : -1;
}

QSqlRecord ServerResult::record() const
{
    QSqlRecord record;
    if (!m_result || !isSelect())
        return record;
    for (int i = 0; i < PQnfields(m_result.get()); ++i)
        record.append(QSqlField(QString::fromUtf8(PQfname(m_result.get(), i)),
                                ServerColumnType(PQftype(m_result.get(), i))));
    return record;
}

QVariant ServerResult::lastInsertId() const
{
    // The sequence value this session took last, as the server keeps it.
    QSqlQuery q(driver()->createResult());
    if (q.exec(QStringLiteral("SELECT lastval()")) && q.next())
        return q.value(0);
    return {};
}

void ServerResult::detachFromResultSet()
{
    m_result.reset();
    m_rows = 0;
}
