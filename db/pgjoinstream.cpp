#include "db/pgjoinstream.h"

#include "db/backend/dbexception.h"
#include "db/backend/serverhandle.h"
#include "db/record/database.h"

#include <cstdio>
#include <cstring>
#include <libpq-fe.h>
#include <limits>
#include <memory>

namespace {

using Column = JoinedRowValues::Column;

// Events read with the plan that answers at once before the rest is sorted
// as a whole: enough to fill the first screens of whoever reads along.
constexpr int kFirstEvents = 4096;

QString errorOf(PGconn* conn)
{
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

Result run(PGconn* conn, const QByteArray& sql, ExecStatusType expected)
{
    Result result(PQexec(conn, sql.constData()), PQclear);
    if (PQresultStatus(result.get()) != expected) {
        const QString error =
            result ? QString::fromUtf8(PQresultErrorMessage(result.get())) : errorOf(conn);
        throw CDBException(error.trimmed());
    }
    return result;
}

// The filter's values written into the statement: COPY takes no parameters.
QByteArray withLiterals(PGconn* conn, const QString& sql, const QVariantList& values)
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
        default: {
            const QByteArray bytes = value.toString().toUtf8();
            char* literal = PQescapeLiteral(conn, bytes.constData(), size_t(bytes.size()));
            if (!literal)
                throw CDBException(errorOf(conn));
            out += literal;
            PQfreemem(literal);
        }
        }
    }
    return out;
}

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

// One tuple of a binary COPY of the joined columns: integers of any width,
// the date as microseconds, texts as their UTF-8 bytes.
class BinaryRow : public JoinedRowValues
{
public:
    // Reads the tuple at data; returns where the next one starts, or
    // nullptr when the bytes are not a tuple of ColumnCount fields.
    const char* Read(const char* data, const char* end)
    {
        if (end - data < 2 || bigEndian(data, 2) != ColumnCount)
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
        m_dateSize = -1;
        return data;
    }

    QVariant Value(Column column) const override
    {
        if (IsNull(column))
            return QVariant(QMetaType::fromType<QString>());
        qint64 number = 0;
        if (Integer(column, &number))
            return QVariant(number);
        QByteArrayView text;
        Text(column, &text);
        return QString::fromUtf8(text);
    }

    bool IsNull(Column column) const override { return m_fields[column].size < 0; }

    bool Text(Column column, QByteArrayView* text) const override
    {
        const Field& field = m_fields[column];
        if (column == EventIndex || column == Timer || column == UserNo || field.size < 0)
            return false;
        if (column != Date) {
            *text = QByteArrayView(field.data, field.size);
            return true;
        }
        if (field.size != 8)
            return false;
        if (m_dateSize < 0)
            m_dateSize = formatTimestamp(m_date, bigEndian(field.data, 8));
        *text = QByteArrayView(m_date, m_dateSize);
        return true;
    }

    bool Integer(Column column, qint64* value) const override
    {
        const Field& field = m_fields[column];
        if ((column != EventIndex && column != Timer && column != UserNo) ||
            (field.size != 2 && field.size != 4 && field.size != 8))
            return false;
        *value = bigEndian(field.data, field.size);
        return true;
    }

private:
    struct Field
    {
        const char* data = nullptr;
        int size = -1;
    };
    Field m_fields[ColumnCount];
    mutable char m_date[64];
    mutable int m_dateSize = -1;
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

// One COPY ... TO STDOUT on the connection, read to its end, or stopped:
// cancelled when the transaction is the stream's own, else read on to the
// end unseen (a cancel would spoil the caller's transaction).
class CopyOut
{
public:
    CopyOut(PGconn* conn, bool mayCancel) : m_conn(conn), m_mayCancel(mayCancel) {}
    CopyOut(const CopyOut&) = delete;
    CopyOut& operator=(const CopyOut&) = delete;
    ~CopyOut()
    {
        if (m_open)
            Stop();
    }

    // Returns false when onRow stopped it.
    bool Run(const QByteArray& sql, const std::function<bool(const JoinedRowValues&)>& onRow)
    {
        run(m_conn, sql, PGRES_COPY_OUT).reset();
        m_open = true;
        bool header = true;
        BinaryRow row;
        for (;;) {
            char* buffer = nullptr;
            const int size = PQgetCopyData(m_conn, &buffer, 0);
            if (size < 0)
                break;
            const std::unique_ptr<char, void (*)(void*)> owned(buffer, PQfreemem);
            const char* data = buffer;
            const char* end = buffer + size;
            if (header && !(data = skipHeader(data, end)))
                throw CDBException(QStringLiteral("The server sent rows in a form not expected."));
            header = false;
            while (data < end) {
                if (end - data == 2 && bigEndian(data, 2) == -1) { // the trailer
                    data = end;
                    break;
                }
                data = row.Read(data, end);
                if (!data)
                    throw CDBException(
                        QStringLiteral("The server sent rows in a form not expected."));
                if (!onRow(row)) {
                    Stop();
                    return false;
                }
            }
        }
        m_open = false;
        Result result(PQgetResult(m_conn), PQclear);
        const bool ok = PQresultStatus(result.get()) == PGRES_COMMAND_OK;
        const QString error =
            result ? QString::fromUtf8(PQresultErrorMessage(result.get())) : errorOf(m_conn);
        drainResults();
        if (!ok)
            throw CDBException(error.trimmed().isEmpty() ? errorOf(m_conn) : error.trimmed());
        return true;
    }

private:
    void Stop()
    {
        m_open = false;
        if (m_mayCancel) {
            if (PGcancel* cancel = PQgetCancel(m_conn)) {
                char error[256];
                PQcancel(cancel, error, sizeof error);
                PQfreeCancel(cancel);
            }
        }
        char* buffer = nullptr;
        while (PQgetCopyData(m_conn, &buffer, 0) >= 0)
            PQfreemem(buffer);
        drainResults();
    }

    void drainResults()
    {
        while (PGresult* result = PQgetResult(m_conn))
            PQclear(result);
    }

    PGconn* m_conn;
    bool m_mayCancel;
    bool m_open = false;
};

// The stream's own read-only transaction, when the caller has none open;
// rolled back unless it was ended.
class OwnTransaction
{
public:
    explicit OwnTransaction(PGconn* conn)
        : m_conn(conn), m_own(PQtransactionStatus(conn) == PQTRANS_IDLE)
    {
    }
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
            PQclear(PQexec(m_conn, "ROLLBACK"));
    }
    bool IsOwn() const { return m_own; }
    void Commit()
    {
        if (!m_own)
            return;
        m_own = false;
        run(m_conn, "COMMIT", PGRES_COMMAND_OK);
    }

private:
    PGconn* m_conn;
    bool m_own;
};

} // namespace

bool StreamJoinedRowsFromServer(CDatabase& db, const QString& select, const QString& where,
                                const QVariantList& values, const QString& order,
                                const std::function<bool(const JoinedRowValues&)>& onRow)
{
    PGconn* conn = ServerHandle(db.Handle());
    if (!conn || PQstatus(conn) != CONNECTION_OK || PQisBusy(conn) != 0)
        return false;
    const PGTransactionStatusType status = PQtransactionStatus(conn);
    if (status != PQTRANS_IDLE && status != PQTRANS_INTRANS)
        return false;
    const Dialect& dialect = db.GetDialect();
    const QByteArray filter = withLiterals(conn, dialect.Sql(where), values);
    const QByteArray head = "COPY (" + dialect.Sql(select).toUtf8() + filter;
    const QByteArray tail = dialect.Sql(order).toUtf8() + ") TO STDOUT (FORMAT binary)";
    const QByteArray bound = (filter.isEmpty() ? " WHERE " : " AND ") +
                             dialect.Sql(QStringLiteral("[EVENTS].[INDEX]")).toUtf8();

    OwnTransaction transaction(conn);
    CopyOut copy(conn, transaction.IsOwn());
    // Where the first events end: the one after it is sorted with the rest.
    const Result first =
        run(conn,
            transaction.Begin() + dialect
                                      .Sql(QStringLiteral("SELECT [INDEX] FROM [EVENTS] ORDER BY "
                                                          "[INDEX] LIMIT 1 OFFSET %1")
                                               .arg(kFirstEvents - 1))
                                      .toUtf8(),
            PGRES_TUPLES_OK);
    bool whole = true;
    if (PQntuples(first.get()) == 1) {
        const QByteArray last = PQgetvalue(first.get(), 0, 0);
        whole = copy.Run(head + bound + " <= " + last + tail, onRow) &&
                copy.Run(head + bound + " > " + last + tail, onRow);
    } else {
        whole = copy.Run(head + tail, onRow);
    }
    if (whole)
        transaction.Commit();
    return true;
}
