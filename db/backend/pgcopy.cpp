// PostgreSQL's COPY on a PgConnection: rows appended as COPY's text in one
// round trip, and the rows of a binary COPY read one at a time.

#include "db/backend/dbexception.h"
#include "db/backend/pgconnection.h"
#include "db/backend/pgfailure.h"
#include "db/backend/pglistener.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <libpq-fe.h>
#include <limits>
#include <string>

namespace {

using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

// The rows in COPY's text form, sent at Finish().
class CopyWriter : public RowWriter
{
public:
    CopyWriter(PgConnection* connection, QByteArray sql)
        : m_connection(connection), m_sql(std::move(sql))
    {
    }

    void Integer(qint64 value) override
    {
        separate();
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        m_rows.append(digits, size_t(end - digits));
    }

    void Text(QByteArrayView utf8) override
    {
        separate();
        for (const char c : utf8) {
            switch (c) {
            case '\\':
                m_rows += "\\\\";
                break;
            case '\t':
                m_rows += "\\t";
                break;
            case '\n':
                m_rows += "\\n";
                break;
            case '\r':
                m_rows += "\\r";
                break;
            default:
                m_rows += c;
            }
        }
    }

    void Text(QStringView text) override { Text(QByteArrayView(text.toUtf8())); }

    void Null() override
    {
        separate();
        m_rows += "\\N";
    }

    void EndRow() override
    {
        m_rows += '\n';
        m_first = true;
    }

    void Finish() override
    {
        if (m_rows.empty())
            return;
        m_connection->RequireOpen();
        PGconn* conn = m_connection->Handle();
        PQclear(m_connection->Check(PQexec(conn, m_sql.constData()), PGRES_COPY_IN));
        const bool sent = PQputCopyData(conn, m_rows.data(), int(m_rows.size())) == 1;
        PQputCopyEnd(conn, sent ? nullptr : "the rows could not be sent");
        std::optional<CDBException> error;
        while (PGresult* result = PQgetResult(conn)) {
            if (!error && PQresultStatus(result) != PGRES_COMMAND_OK)
                error = StatementFailure(conn, result);
            PQclear(result);
        }
        if (!sent && !error)
            error = StatementFailure(conn, nullptr);
        m_rows.clear();
        if (error)
            throw *error;
    }

private:
    void separate()
    {
        if (!m_first)
            m_rows += '\t';
        m_first = false;
    }

    PgConnection* m_connection;
    QByteArray m_sql;
    std::string m_rows;
    bool m_first = true;
};

qint64 bigEndian(const char* p, int size)
{
    quint64 v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | quint8(p[i]);
    if (size < 8 && (v >> (size * 8 - 1)) != 0) // sign-extend
        v |= ~quint64(0) << (size * 8);
    return qint64(v);
}

// A timestamp without zone (microseconds from 2000-01-01) as the server
// writes it in ISO style: "2019-01-01 01:00:08", with a fraction when there
// is one, "BC" before year 1. Returns the size.
int formatTimestamp(char* out, qint64 us)
{
    if (us == std::numeric_limits<qint64>::max())
        return int(std::strlen(std::strcpy(out, "infinity")));
    if (us == std::numeric_limits<qint64>::min())
        return int(std::strlen(std::strcpy(out, "-infinity")));
    constexpr qint64 kDay = qint64(86400) * 1000000;
    qint64 days = us / kDay;
    qint64 rest = us % kDay;
    if (rest < 0) {
        rest += kDay;
        --days;
    }
    // Days since 1970 to the civil date (proleptic Gregorian).
    const qint64 z = days + 10957 + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const qint64 year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    const qint64 seconds = rest / 1000000;
    const int fraction = int(rest % 1000000);
    const bool bc = year <= 0;
    int n = std::snprintf(out, 48, "%04lld-%02d-%02d %02d:%02d:%02d",
                          static_cast<long long>(bc ? 1 - year : year), month, day,
                          int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
    if (fraction != 0) {
        n += std::snprintf(out + n, 16, ".%06d", fraction);
        while (out[n - 1] == '0')
            --n;
    }
    if (bc)
        n += std::snprintf(out + n, 4, " BC");
    return n;
}

// One tuple of a binary COPY: integers of any width, timestamps as
// microseconds, texts as their UTF-8 bytes.
class BinaryRow : public ResultRow
{
public:
    explicit BinaryRow(std::span<const CopyColumn> columns)
        : m_columns(columns), m_fields(columns.size())
    {
    }

    // Reads the tuple at data; returns where the next one starts, or
    // nullptr when the bytes are not a tuple of the columns.
    const char* Read(const char* data, const char* end)
    {
        if (end - data < 2 || bigEndian(data, 2) != qint64(m_fields.size()))
            return nullptr;
        data += 2;
        for (Field& field : m_fields) {
            if (end - data < 4)
                return nullptr;
            field.size = int(bigEndian(data, 4));
            data += 4;
            field.data = data;
            if (field.size > 0) {
                if (end - data < field.size)
                    return nullptr;
                data += field.size;
            }
        }
        m_dateColumn = -1;
        return data;
    }

    ValueType Type(int column) const override
    {
        if (m_fields[size_t(column)].size < 0)
            return ValueType::Null;
        return m_columns[size_t(column)] == CopyColumn::Integer ? ValueType::Integer
                                                                : ValueType::Text;
    }

    qint64 Int64(int column) const override
    {
        const Field& field = m_fields[size_t(column)];
        if (m_columns[size_t(column)] != CopyColumn::Integer ||
            (field.size != 2 && field.size != 4 && field.size != 8))
            return 0;
        return bigEndian(field.data, field.size);
    }

    QString Text(int column) const override
    {
        if (Type(column) == ValueType::Integer)
            return QString::number(Int64(column));
        QByteArrayView text;
        return TextBytes(column, &text) ? QString::fromUtf8(text) : QString();
    }

    bool TextBytes(int column, QByteArrayView* text) const override
    {
        const Field& field = m_fields[size_t(column)];
        if (field.size < 0)
            return false;
        switch (m_columns[size_t(column)]) {
        case CopyColumn::Integer:
            return false;
        case CopyColumn::Text:
            *text = QByteArrayView(field.data, field.size);
            return true;
        case CopyColumn::Timestamp:
            break;
        }
        if (field.size != 8)
            return false;
        if (m_dateColumn != column) {
            m_dateSize = formatTimestamp(m_date, bigEndian(field.data, 8));
            m_dateColumn = column;
        }
        *text = QByteArrayView(m_date, m_dateSize);
        return true;
    }

    QVariant Value(int column) const override
    {
        switch (Type(column)) {
        case ValueType::Null:
            return QVariant(QMetaType::fromType<QString>());
        case ValueType::Integer:
            return QVariant(Int64(column));
        default:
            return Text(column);
        }
    }

private:
    struct Field
    {
        const char* data = nullptr;
        int size = -1;
    };
    std::span<const CopyColumn> m_columns;
    std::vector<Field> m_fields;
    mutable char m_date[64];
    mutable int m_dateSize = 0;
    mutable int m_dateColumn = -1;
};

// The binary COPY file's header: signature, flags, extension.
const char* skipHeader(const char* data, const char* end)
{
    static const char kSignature[] = "PGCOPY\n\377\r\n";
    constexpr int kSignatureSize = 11; // with its NUL
    if (end - data < kSignatureSize + 8 || std::memcmp(data, kSignature, kSignatureSize) != 0)
        return nullptr;
    data += kSignatureSize + 4;
    const qint64 extension = bigEndian(data, 4);
    data += 4;
    return extension >= 0 && end - data >= extension ? data + extension : nullptr;
}

CDBException unexpectedForm()
{
    return CDBException(QStringLiteral("The server sent rows in a form not expected."));
}

void drainResults(PGconn* conn)
{
    while (PGresult* result = PQgetResult(conn))
        PQclear(result);
}

// Ends a COPY given up half way: cancelled when allowed, read to its end.
void stopCopy(PGconn* conn, bool mayCancel)
{
    if (mayCancel) {
        if (PGcancel* cancel = PQgetCancel(conn)) {
            char error[256];
            PQcancel(cancel, error, sizeof error);
            PQfreeCancel(cancel);
        }
    }
    char* buffer = nullptr;
    while (PQgetCopyData(conn, &buffer, 0) >= 0)
        PQfreemem(buffer);
    drainResults(conn);
}

} // namespace

std::unique_ptr<RowWriter> PgConnection::AppendRows(const QString& table,
                                                    const QStringList& columns)
{
    const QByteArray sql = QStringLiteral("COPY \"%1\" (\"%2\") FROM STDIN")
                               .arg(table, columns.join(QStringLiteral("\", \"")))
                               .toUtf8();
    return std::make_unique<CopyWriter>(this, sql);
}

bool PgConnection::CopyRows(const QByteArray& sql, std::span<const CopyColumn> columns,
                            const std::function<bool(const ResultRow&)>& onRow, bool mayCancel)
{
    RequireOpen();
    PQclear(Check(PQexec(m_conn, sql.constData()), PGRES_COPY_OUT));
    // Whatever leaves half way ends the COPY, so that the connection reads on.
    bool open = true;
    struct Ender
    {
        PGconn* conn;
        bool mayCancel;
        bool* open;
        ~Ender()
        {
            if (*open)
                stopCopy(conn, mayCancel);
        }
    } ender{m_conn, mayCancel, &open};
    bool header = true;
    BinaryRow row(columns);
    for (;;) {
        char* buffer = nullptr;
        const int size = PQgetCopyData(m_conn, &buffer, 0);
        if (size < 0)
            break;
        const std::unique_ptr<char, void (*)(void*)> owned(buffer, PQfreemem);
        const char* data = buffer;
        const char* end = buffer + size;
        if (header && !(data = skipHeader(data, end)))
            throw unexpectedForm();
        header = false;
        while (data < end) {
            if (end - data == 2 && bigEndian(data, 2) == -1) { // the trailer
                data = end;
                break;
            }
            data = row.Read(data, end);
            if (!data)
                throw unexpectedForm();
            if (!onRow(row))
                return false;
        }
    }
    open = false;
    const Result result(PQgetResult(m_conn), PQclear);
    const bool ok = PQresultStatus(result.get()) == PGRES_COMMAND_OK;
    const CDBException error = StatementFailure(m_conn, result.get());
    drainResults(m_conn);
    if (!ok) {
        if (m_listener)
            m_listener->NoteLoss();
        throw error;
    }
    return true;
}
