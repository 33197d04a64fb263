#include "db/record/preparedquery.h"

#include "db/backend/dbexception.h"
#include "db/record/database.h"

PreparedQuery::PreparedQuery(const CDatabase& db, const QString& sql)
    : m_statement(db.GetConnection().Prepare(db.GetDialect().Sql(sql)))
{
}

Statement& PreparedQuery::statement() const
{
    if (!m_statement)
        throw CDBException(QStringLiteral("The database is not connected."));
    return *m_statement;
}

void PreparedQuery::Exec(std::initializer_list<qint64> values)
{
    statement().Exec(std::span<const qint64>(values.begin(), values.size()));
}

void PreparedQuery::Exec(const QVariantList& values)
{
    statement().Exec(values);
}

bool PreparedQuery::Next()
{
    return m_statement && m_statement->Next();
}

void PreparedQuery::Finish()
{
    if (m_statement)
        m_statement->Finish();
}

qint64 PreparedQuery::RowsAffected() const
{
    return m_statement ? m_statement->RowsAffected() : 0;
}

QVariant PreparedQuery::Value(int column) const
{
    return m_statement->Value(column);
}

bool PreparedQuery::IsNull(int column) const
{
    return m_statement->IsNull(column);
}

ValueType PreparedQuery::Type(int column) const
{
    return m_statement->Type(column);
}

qint64 PreparedQuery::Int64(int column) const
{
    return m_statement->Int64(column);
}

qint32 PreparedQuery::Int32(int column) const
{
    if (m_statement->Type(column) == ValueType::Integer)
        return static_cast<qint32>(m_statement->Int64(column));
    return m_statement->Value(column).toInt();
}

QString PreparedQuery::Text(int column) const
{
    return m_statement->Text(column);
}
