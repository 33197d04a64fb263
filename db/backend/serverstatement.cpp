#include "db/backend/serverstatement.h"

#include "db/backend/dbexception.h"
#include "db/backend/serverhandle.h"
#include "db/backend/servervalue.h"

#include <QSqlDatabase>
#include <charconv>
#include <libpq-fe.h>
#include <vector>

namespace {

// The oids of the whole-number types (pg_type.h).
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;

} // namespace

ServerStatement::ServerStatement(const QString& sql)
{
    m_sql = NumberedPlaceholders(sql, &m_params);
}

bool ServerStatement::CanRun(const QSqlDatabase& db)
{
    PGconn* conn = ServerHandle(db);
    return conn && PQstatus(conn) == CONNECTION_OK && PQisBusy(conn) == 0 &&
           PQtransactionStatus(conn) != PQTRANS_ACTIVE;
}

void ServerStatement::Exec(const QSqlDatabase& db, const QVariantList& values)
{
    Clear();
    PGconn* conn = ServerHandle(db);
    if (!conn)
        throw CDBException(QStringLiteral("The database is not connected."));
    if (values.size() != m_params)
        throw CDBException(QStringLiteral("%1 values given to a statement that takes %2.")
                               .arg(values.size())
                               .arg(m_params));
    std::vector<QByteArray> texts(size_t(values.size()));
    std::vector<const char*> pointers(size_t(values.size()), nullptr);
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QVariant& value = values.at(i);
        if (value.isNull())
            continue;
        texts[size_t(i)] = value.typeId() == QMetaType::QString
                               ? value.toString().toUtf8()
                               : QByteArray::number(value.toLongLong());
        pointers[size_t(i)] = texts[size_t(i)].constData();
    }
    m_result = {PQexecParams(conn, m_sql.constData(), m_params, nullptr, pointers.data(), nullptr,
                             nullptr, 0),
                PQclear};
    if (PQresultStatus(m_result.get()) != PGRES_TUPLES_OK &&
        PQresultStatus(m_result.get()) != PGRES_COMMAND_OK) {
        const QString error = QString::fromUtf8(m_result ? PQresultErrorMessage(m_result.get())
                                                         : PQerrorMessage(conn))
                                  .trimmed();
        Clear();
        throw CDBException(error);
    }
    m_rows = PQntuples(m_result.get());
}

bool ServerStatement::Next()
{
    if (!m_result || m_row + 1 >= m_rows) {
        Clear();
        return false;
    }
    ++m_row;
    return true;
}

void ServerStatement::Clear()
{
    m_result.reset();
    m_row = -1;
    m_rows = 0;
}

bool ServerStatement::IsNull(int column) const
{
    return !m_result || m_row < 0 || PQgetisnull(m_result.get(), m_row, column);
}

qint64 ServerStatement::Int64(int column) const
{
    if (IsNull(column))
        return 0;
    const char* text = PQgetvalue(m_result.get(), m_row, column);
    qint64 value = 0;
    std::from_chars(text, text + PQgetlength(m_result.get(), m_row, column), value);
    return value;
}

QString ServerStatement::Text(int column) const
{
    if (IsNull(column))
        return {};
    return QString::fromUtf8(PQgetvalue(m_result.get(), m_row, column),
                             PQgetlength(m_result.get(), m_row, column));
}

QVariant ServerStatement::Value(int column) const
{
    if (IsNull(column))
        return {};
    const Oid type = PQftype(m_result.get(), column);
    if (type == kInt8 || type == kInt2 || type == kInt4)
        return QVariant(Int64(column));
    return Text(column);
}
