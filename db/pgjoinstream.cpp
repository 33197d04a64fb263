#include "db/pgjoinstream.h"

#include "db/backend/dbexception.h"
#include "db/backend/pgconnection.h"
#include "db/record/database.h"

namespace {

// Events read with the plan that answers at once before the rest is sorted
// as a whole: enough to fill the first screens of whoever reads along.
constexpr int kFirstEvents = 4096;

// The joined columns as the COPY sends them.
constexpr CopyColumn kColumns[] = {CopyColumn::Integer, CopyColumn::Integer, CopyColumn::Timestamp,
                                   CopyColumn::Integer, CopyColumn::Text,    CopyColumn::Text};
static_assert(std::size(kColumns) == JoinedRowValues::ColumnCount);

// The filter's values written into the statement: COPY takes no parameters.
QByteArray withLiterals(const PgConnection& server, const QString& sql, const QVariantList& values)
{
    const QByteArray text = sql.toUtf8();
    QByteArray out;
    out.reserve(text.size() + 32 * values.size());
    qsizetype next = 0;
    for (const char c : text) {
        if (c != '?' || next >= values.size()) {
            out += c;
            continue;
        }
        const QVariant& value = values.at(next++);
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            out += value.toString().toLatin1();
            break;
        default:
            out += server.Literal(value.toString());
        }
    }
    return out;
}

// The stream's own read-only transaction, when the caller has none open;
// rolled back unless it was ended.
class OwnTransaction
{
public:
    explicit OwnTransaction(PgConnection& server) : m_server(server), m_own(server.IsIdle()) {}
    // What begins it, to be sent with the first statement in it: one round
    // trip for both.
    QByteArray Begin() const
    {
        return m_own ? "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY; " : "";
    }
    OwnTransaction(const OwnTransaction&) = delete;
    OwnTransaction& operator=(const OwnTransaction&) = delete;
    ~OwnTransaction()
    {
        if (m_own)
            m_server.Rollback();
    }
    bool IsOwn() const { return m_own; }
    void Commit()
    {
        if (!m_own)
            return;
        m_own = false;
        m_server.Execute("COMMIT");
    }

private:
    PgConnection& m_server;
    bool m_own;
};

} // namespace

bool StreamJoinedRowsFromServer(CDatabase& db, const QString& select, const QString& where,
                                const QVariantList& values, const QString& order,
                                const std::function<bool(const JoinedRowValues&)>& onRow)
{
    PgConnection* server = db.Server();
    if (!server || !server->IsOpen() || (!server->IsIdle() && !server->InTransaction()))
        return false;
    const Dialect& dialect = db.GetDialect();
    const QByteArray filter = withLiterals(*server, dialect.Sql(where), values);
    const QByteArray head = "COPY (" + dialect.Sql(select).toUtf8() + filter;
    const QByteArray tail = dialect.Sql(order).toUtf8() + ") TO STDOUT (FORMAT binary)";
    const QByteArray bound = (filter.isEmpty() ? " WHERE " : " AND ") +
                             dialect.Sql(QStringLiteral("[EVENTS].[INDEX]")).toUtf8();

    OwnTransaction transaction(*server);
    const auto copy = [&](const QByteArray& sql) {
        return server->CopyRows(
            sql, kColumns, [&](const ResultRow& row) { return onRow(JoinedRowValues(row)); },
            transaction.IsOwn());
    };
    // Where the first events end: the one after it is sorted with the rest.
    std::vector<PgRows> results;
    server->RunBatch(transaction.Begin() +
                         dialect
                             .Sql(QStringLiteral("SELECT [INDEX] FROM [EVENTS] ORDER BY [INDEX] "
                                                 "LIMIT 1 OFFSET %1")
                                      .arg(kFirstEvents - 1))
                             .toUtf8(),
                     &results);
    bool whole = true;
    if (!results.empty() && results.back().Next()) {
        const QByteArray last = QByteArray::number(results.back().Int64(0));
        whole =
            copy(head + bound + " <= " + last + tail) && copy(head + bound + " > " + last + tail);
    } else {
        whole = copy(head + tail);
    }
    if (whole)
        transaction.Commit();
    return true;
}
