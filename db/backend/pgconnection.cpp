#include "db/backend/pgconnection.h"

#include "db/backend/dbexception.h"
#include "db/backend/pgfailure.h"
#include "db/backend/pglistener.h"
#include "db/backend/pgvalue.h"
#include "db/backend/placeholders.h"
#include "db/location/location.h"

#include <charconv>
#include <libpq-fe.h>
#include <optional>
#include <utility>

namespace {

// The settings the conversions rely on, made while the connection starts.
const char kStartupOptions[] = "-c DateStyle=ISO";

// Splits "key=value;key=value" connect options, a value quoted as in a
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

// The keywords of the start-up: the location's, then the program's.
std::vector<std::pair<QByteArray, QByteArray>> startupParameters(const Location& location)
{
    std::vector<std::pair<QByteArray, QByteArray>> params;
    if (!location.Host().isEmpty())
        params.emplace_back("host", location.Host().toUtf8());
    if (location.Port() > 0)
        params.emplace_back("port", QByteArray::number(location.Port()));
    if (!location.Database().isEmpty())
        params.emplace_back("dbname", location.Database().toUtf8());
    if (!location.User().isEmpty())
        params.emplace_back("user", location.User().toUtf8());
    if (!location.Password().isEmpty())
        params.emplace_back("password", location.Password().toUtf8());
    bool timeLimit = false;
    bool ownOptions = false;
    QByteArray options = kStartupOptions;
    for (auto& [key, value] : splitOptions(location.ConnectOptions())) {
        timeLimit = timeLimit || key == "connect_timeout";
        if (key == "options") {
            ownOptions = true;
            options += ' ' + value;
        } else if (key != "client_encoding") {
            params.emplace_back(std::move(key), std::move(value));
        }
    }
    if (!timeLimit)
        params.emplace_back("connect_timeout", "10");
    // Warnings the server sends while the connection starts (a collation
    // that changed, say) would be printed before the settings are made.
    if (!ownOptions)
        options += " -c client_min_messages=error";
    params.emplace_back("options", options);
    params.emplace_back("client_encoding", "UTF8");
    params.emplace_back("fallback_application_name", "zqreader");
    return params;
}

using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

QByteArray identifier(PGconn* conn, const QString& name)
{
    const QByteArray bytes = name.toUtf8();
    char* quoted = PQescapeIdentifier(conn, bytes.constData(), size_t(bytes.size()));
    if (!quoted)
        throw StatementFailure(conn, nullptr);
    QByteArray out(quoted);
    PQfreemem(quoted);
    return out;
}

class PgCancel : public StatementCancel
{
public:
    explicit PgCancel(PGconn* conn) : m_cancel(PQgetCancel(conn)) {}
    ~PgCancel() override
    {
        if (m_cancel)
            PQfreeCancel(m_cancel);
    }
    PgCancel(const PgCancel&) = delete;
    PgCancel& operator=(const PgCancel&) = delete;
    void Cancel() override
    {
        if (!m_cancel)
            return;
        char error[256];
        PQcancel(m_cancel, error, sizeof error);
    }

private:
    PGcancel* m_cancel;
};

} // namespace

// One statement with '?' numbered as the server numbers values, run as an
// unnamed statement; a run keeps all its rows.
class PgStatement final : public Statement
{
public:
    PgStatement(PgConnection* connection, const QString& sql) : m_connection(connection)
    {
        m_sql = NumberedPlaceholders(sql, &m_params);
        m_connection->Note(this);
    }
    ~PgStatement() override
    {
        if (m_connection)
            m_connection->Forget(this);
    }
    PgStatement(const PgStatement&) = delete;
    PgStatement& operator=(const PgStatement&) = delete;

    void Detach()
    {
        m_connection = nullptr;
        m_rows.Clear();
    }

    PgRows TakeRows() { return std::move(m_rows); }

    void Exec(const QVariantList& values) override
    {
        std::vector<QByteArray> texts(size_t(values.size()));
        std::vector<int> formats(size_t(values.size()), 0);
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (IsNullValue(values.at(i))) {
                formats[size_t(i)] = -1;
                continue;
            }
            bool binary = false;
            texts[size_t(i)] = PgParameterText(values.at(i), &binary);
            formats[size_t(i)] = binary ? 1 : 0;
        }
        run(texts, formats);
    }

    void Exec(std::span<const qint64> values) override
    {
        std::vector<QByteArray> texts;
        texts.reserve(values.size());
        for (const qint64 v : values)
            texts.push_back(QByteArray::number(v));
        run(texts, std::vector<int>(values.size(), 0));
    }

    bool Next() override { return m_rows.Next(); }
    void Finish() override { m_rows.Clear(); }
    qint64 RowsAffected() const override { return m_affected; }

    ValueType Type(int column) const override { return m_rows.Type(column); }
    qint64 Int64(int column) const override { return m_rows.Int64(column); }
    QString Text(int column) const override { return m_rows.Text(column); }
    bool TextBytes(int column, QByteArrayView* text) const override
    {
        return m_rows.TextBytes(column, text);
    }
    QVariant Value(int column) const override { return m_rows.Value(column); }

private:
    // formats: -1 for NULL, 0 for text, 1 for bytes.
    void run(const std::vector<QByteArray>& texts, const std::vector<int>& formats)
    {
        m_rows.Clear();
        m_affected = 0;
        if (!m_connection)
            throw CDBException(QStringLiteral("The database is not connected."));
        m_connection->RequireOpen();
        if (int(texts.size()) != m_params)
            throw CDBException(QStringLiteral("%1 values given to a statement that takes %2.")
                                   .arg(texts.size())
                                   .arg(m_params));
        std::vector<const char*> pointers(texts.size(), nullptr);
        std::vector<int> lengths(texts.size(), 0);
        std::vector<int> binary(texts.size(), 0);
        for (size_t i = 0; i < texts.size(); ++i) {
            if (formats[i] < 0)
                continue;
            pointers[i] = texts[i].constData();
            lengths[i] = int(texts[i].size());
            binary[i] = formats[i];
        }
        PGresult* result = m_connection->Check(
            PQexecParams(m_connection->Handle(), m_sql.constData(), m_params, nullptr,
                         pointers.data(), lengths.data(), binary.data(), 0),
            -1);
        const char* affected = PQcmdTuples(result);
        m_affected = affected && *affected ? QByteArray(affected).toLongLong() : 0;
        m_rows = PgRows(result);
    }

    PgConnection* m_connection;
    QByteArray m_sql;
    int m_params = 0;
    PgRows m_rows;
    qint64 m_affected = 0;
};

PgRows::PgRows(pg_result* result) : m_result(result), m_rows(result ? PQntuples(result) : 0) {}

PgRows::~PgRows()
{
    PQclear(m_result);
}

PgRows::PgRows(PgRows&& other) noexcept
    : m_result(std::exchange(other.m_result, nullptr)), m_row(std::exchange(other.m_row, -1)),
      m_rows(std::exchange(other.m_rows, 0))
{
}

PgRows& PgRows::operator=(PgRows&& other) noexcept
{
    if (this != &other) {
        PQclear(m_result);
        m_result = std::exchange(other.m_result, nullptr);
        m_row = std::exchange(other.m_row, -1);
        m_rows = std::exchange(other.m_rows, 0);
    }
    return *this;
}

bool PgRows::Next()
{
    if (!m_result || m_row + 1 >= m_rows) {
        Clear();
        return false;
    }
    ++m_row;
    return true;
}

void PgRows::Clear()
{
    PQclear(m_result);
    m_result = nullptr;
    m_row = -1;
    m_rows = 0;
}

ValueType PgRows::Type(int column) const
{
    if (!m_result || m_row < 0 || PQgetisnull(m_result, m_row, column))
        return ValueType::Null;
    return PgValueType(PQftype(m_result, column));
}

qint64 PgRows::Int64(int column) const
{
    if (IsNull(column))
        return 0;
    const char* text = PQgetvalue(m_result, m_row, column);
    qint64 value = 0;
    std::from_chars(text, text + PQgetlength(m_result, m_row, column), value);
    return value;
}

QString PgRows::Text(int column) const
{
    if (IsNull(column))
        return {};
    return QString::fromUtf8(PQgetvalue(m_result, m_row, column),
                             PQgetlength(m_result, m_row, column));
}

bool PgRows::TextBytes(int column, QByteArrayView* text) const
{
    if (Type(column) != ValueType::Text)
        return false;
    *text =
        QByteArrayView(PQgetvalue(m_result, m_row, column), PQgetlength(m_result, m_row, column));
    return true;
}

QVariant PgRows::Value(int column) const
{
    if (!m_result || m_row < 0)
        return {};
    const PgTypeId type = PQftype(m_result, column);
    if (PQgetisnull(m_result, m_row, column))
        return QVariant(PgColumnType(type));
    return PgColumnValue(type, PQgetvalue(m_result, m_row, column),
                         PQgetlength(m_result, m_row, column));
}

std::unique_ptr<PgConnection> PgConnection::Connect(const Location& location)
{
    const auto params = startupParameters(location);
    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (const auto& [key, value] : params) {
        keys.push_back(key.constData());
        values.push_back(value.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 0);
    if (PQstatus(conn) != CONNECTION_OK) {
        const CDBException error = ConnectFailure(conn);
        PQfinish(conn);
        throw error;
    }
    // What the server says outside a statement (the "terminating connection"
    // of a server shutting down) would be printed raw on standard error; the
    // loss of the connection is told by the failure it brings.
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    return std::unique_ptr<PgConnection>(new PgConnection(conn));
}

PgConnection::PgConnection(pg_conn* conn) : m_conn(conn) {}

PgConnection::~PgConnection()
{
    for (PgStatement* statement : std::exchange(m_statements, {}))
        statement->Detach();
    if (m_listener) {
        // Maybe from within one of its own signals.
        m_listener->Detach();
        m_listener->deleteLater();
    }
    PQfinish(m_conn);
}

bool PgConnection::IsOpen() const
{
    return PQstatus(m_conn) == CONNECTION_OK;
}

pg_result* PgConnection::Check(pg_result* result, int expected)
{
    Result owned(result, PQclear);
    const ExecStatusType status = PQresultStatus(result);
    const bool ok = expected < 0 ? status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK
                                 : status == ExecStatusType(expected);
    if (!ok) {
        const CDBException error = StatementFailure(m_conn, result);
        owned.reset();
        if (m_listener)
            m_listener->NoteLoss();
        throw error;
    }
    if (m_listener)
        QMetaObject::invokeMethod(m_listener, &PgListener::Deliver, Qt::QueuedConnection);
    return owned.release();
}

std::unique_ptr<Statement> PgConnection::Prepare(const QString& sql)
{
    return std::make_unique<PgStatement>(this, sql);
}

void PgConnection::RequireOpen()
{
    if (IsOpen())
        return;
    if (m_listener)
        m_listener->NoteLoss();
    // The client library keeps why it lost the connection.
    const QString why = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
    throw CDBException(why.isEmpty() ? QStringLiteral("The database is not connected.") : why,
                       DbFailure::ConnectionLost);
}

void PgConnection::Execute(const QByteArray& sql)
{
    RequireOpen();
    PQclear(Check(PQexec(m_conn, sql.constData()), -1));
}

void PgConnection::Begin()
{
    Execute("BEGIN");
}

void PgConnection::BeginWrite()
{
    Execute("BEGIN");
}

void PgConnection::Commit()
{
    RequireOpen();
    const Result result(Check(PQexec(m_conn, "COMMIT"), PGRES_COMMAND_OK), PQclear);
    // A transaction that failed on the way ends in a rollback, told only by
    // the command's tag.
    if (qstrcmp(PQcmdStatus(result.get()), "ROLLBACK") == 0)
        throw CDBException(QStringLiteral("The transaction was rolled back by the server."));
}

void PgConnection::Rollback()
{
    if (IsOpen() && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        PQclear(PQexec(m_conn, "ROLLBACK"));
}

std::unique_ptr<StatementCancel> PgConnection::MakeCancel()
{
    return std::make_unique<PgCancel>(m_conn);
}

void PgConnection::RunBatch(const QByteArray& sql, std::vector<PgRows>* results)
{
    RequireOpen();
    if (!PQsendQuery(m_conn, sql.constData()))
        throw StatementFailure(m_conn, nullptr);
    std::optional<CDBException> error;
    while (PGresult* raw = PQgetResult(m_conn)) {
        if (error) {
            PQclear(raw);
            continue;
        }
        try {
            results->emplace_back(Check(raw, -1));
        } catch (const CDBException& e) {
            error = e;
        }
    }
    if (error)
        throw *error;
}

PgRows PgConnection::Query(const QByteArray& sql, const QVariantList& values)
{
    PgStatement statement(this, QString::fromUtf8(sql));
    statement.Exec(values);
    return statement.TakeRows();
}

bool PgConnection::InTransaction() const
{
    return PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
}

bool PgConnection::IsIdle() const
{
    return IsOpen() && PQisBusy(m_conn) == 0 && PQtransactionStatus(m_conn) == PQTRANS_IDLE;
}

QByteArray PgConnection::Literal(const QString& text) const
{
    const QByteArray bytes = text.toUtf8();
    char* literal = PQescapeLiteral(m_conn, bytes.constData(), size_t(bytes.size()));
    if (!literal)
        throw StatementFailure(m_conn, nullptr);
    QByteArray out(literal);
    PQfreemem(literal);
    return out;
}

PgListener* PgConnection::Listen(const QString& channel)
{
    if (!m_listener)
        m_listener = new PgListener(this);
    if (!m_listener->IsListening(channel)) {
        Execute("LISTEN " + identifier(m_conn, channel));
        m_listener->Add(channel);
    }
    return m_listener;
}

void PgConnection::Unlisten(const QString& channel)
{
    if (!m_listener || !m_listener->IsListening(channel))
        return;
    m_listener->Remove(channel);
    if (IsOpen())
        PQclear(PQexec(m_conn, ("UNLISTEN " + identifier(m_conn, channel)).constData()));
}

QString PgConnection::Loss()
{
    if (IsOpen()) {
        try {
            Execute("SELECT 1");
            return {};
        } catch (const CDBException& e) {
            if (e.Kind() != DbFailure::ConnectionLost)
                return {};
            if (!e.m_strError.isEmpty())
                return e.m_strError;
        }
    }
    return QStringLiteral("the server closed the connection");
}
