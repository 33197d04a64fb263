#include "db/backend/sqliteconnection.h"

#include "db/backend/dbexception.h"

#include <cerrno>
#include <sqlite3.h>
#include <utility>

namespace {

// Every step of every statement goes through here.
int step(sqlite3_stmt* statement)
{
    return sqlite3_step(statement);
}

// SQLite's reason for a failure, or the system's where SQLite says only
// "disk I/O error": a write beyond a file size limit (ulimit -f) fails with
// "File too large", as files the program writes itself do.
CDBException failure(sqlite3* handle, int code)
{
    if (!handle)
        return CDBException(QString::fromUtf8(sqlite3_errstr(code)));
    const int primary = code & 0xff;
    int system = sqlite3_system_errno(handle);
    // Work done after the failed write (the rollback) may have cleared the
    // error number SQLite reports; the file keeps its own.
    if (system == 0 && primary == SQLITE_IOERR)
        sqlite3_file_control(handle, "main", SQLITE_FCNTL_LAST_ERRNO, &system);
    DbFailure kind = DbFailure::Other;
    switch (primary) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        kind = DbFailure::Locked;
        break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        kind = DbFailure::Damaged;
        break;
    case SQLITE_FULL:
        kind = DbFailure::DiskFull;
        break;
    case SQLITE_IOERR:
        if (system == EFBIG)
            kind = DbFailure::FileTooLarge;
        else if (system == ENOSPC)
            kind = DbFailure::DiskFull;
        break;
    case SQLITE_READONLY:
        kind = DbFailure::ReadOnly;
        break;
    case SQLITE_PERM:
    case SQLITE_AUTH:
        kind = DbFailure::Denied;
        break;
    case SQLITE_CANTOPEN:
        if (system == EACCES || system == EPERM)
            kind = DbFailure::Denied;
        break;
    case SQLITE_INTERRUPT:
        kind = DbFailure::Cancelled;
        break;
    default:
        break;
    }
    const QString message = primary == SQLITE_IOERR && system != 0
                                ? qt_error_string(system)
                                : QString::fromUtf8(sqlite3_errmsg(handle));
    return CDBException(message, kind);
}

[[noreturn]] void fail(sqlite3* handle, int code)
{
    throw failure(handle, code);
}

const CDBException& notConnected()
{
    static const CDBException e(QStringLiteral("The database is not connected."));
    return e;
}

class Interrupt : public StatementCancel
{
public:
    explicit Interrupt(sqlite3* handle) : m_handle(handle) {}
    void Cancel() override { sqlite3_interrupt(m_handle); }

private:
    sqlite3* m_handle;
};

} // namespace

// A statement prepared on the connection; a run steps it once at once, as
// a statement that writes must run, and keeps that first row for Next().
class SqliteStatement final : public Statement
{
public:
    SqliteStatement(SqliteConnection* connection, sqlite3* handle, sqlite3_stmt* statement)
        : m_connection(connection), m_handle(handle), m_statement(statement)
    {
        m_connection->Note(this);
    }
    ~SqliteStatement() override
    {
        if (m_connection)
            m_connection->Forget(this);
        sqlite3_finalize(m_statement);
    }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // The connection closes: the statement is finalised, later runs throw.
    void Detach()
    {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        m_connection = nullptr;
        m_state = State::Idle;
    }

    void Exec(const QVariantList& values) override
    {
        begin();
        for (int i = 0; i < values.size(); ++i)
            bind(i + 1, values.at(i));
        run();
    }

    void Exec(std::span<const qint64> values) override
    {
        begin();
        int i = 0;
        for (const qint64 v : values)
            check(sqlite3_bind_int64(m_statement, ++i, v));
        run();
    }

    bool Next() override
    {
        if (m_state == State::FirstRow) {
            m_state = State::Rows;
            return true;
        }
        if (m_state != State::Rows)
            return false;
        return step();
    }

    void Finish() override
    {
        if (m_state != State::Idle && m_statement)
            sqlite3_reset(m_statement);
        m_state = State::Idle;
    }

    qint64 RowsAffected() const override { return m_changes; }

    ValueType Type(int column) const override
    {
        switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_INTEGER:
            return ValueType::Integer;
        case SQLITE_FLOAT:
            return ValueType::Real;
        case SQLITE_NULL:
            return ValueType::Null;
        case SQLITE_BLOB:
            return ValueType::Blob;
        default:
            return ValueType::Text;
        }
    }

    qint64 Int64(int column) const override
    {
        if (sqlite3_column_type(m_statement, column) == SQLITE_INTEGER)
            return sqlite3_column_int64(m_statement, column);
        return Value(column).toLongLong();
    }

    QString Text(int column) const override
    {
        if (sqlite3_column_type(m_statement, column) == SQLITE_TEXT) {
            // Plain ASCII, the usual case, reads the same without converting
            // it to UTF-16 inside SQLite first.
            const auto* bytes = sqlite3_column_text(m_statement, column);
            const int size = sqlite3_column_bytes(m_statement, column);
            bool ascii = true;
            for (int i = 0; i < size && ascii; ++i)
                ascii = bytes[i] < 0x80;
            if (ascii)
                return QString::fromLatin1(reinterpret_cast<const char*>(bytes), size);
        }
        return Value(column).toString();
    }

    bool TextBytes(int column, QByteArrayView* text) const override
    {
        if (sqlite3_column_type(m_statement, column) != SQLITE_TEXT)
            return false;
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        *text = QByteArrayView(bytes, sqlite3_column_bytes(m_statement, column));
        return true;
    }

    QVariant Value(int column) const override
    {
        switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_INTEGER:
            return QVariant(qint64(sqlite3_column_int64(m_statement, column)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(m_statement, column));
        case SQLITE_NULL:
            return QVariant(QMetaType::fromType<QString>());
        case SQLITE_BLOB:
            return QByteArray(static_cast<const char*>(sqlite3_column_blob(m_statement, column)),
                              sqlite3_column_bytes(m_statement, column));
        default:
            return QString(static_cast<const QChar*>(sqlite3_column_text16(m_statement, column)),
                           sqlite3_column_bytes16(m_statement, column) / qsizetype(sizeof(QChar)));
        }
    }

private:
    enum class State
    {
        Idle,
        FirstRow, // stepped onto the first row, not yet given
        Rows,
    };

    void begin()
    {
        if (!m_statement)
            throw notConnected();
        if (m_state != State::Idle)
            sqlite3_reset(m_statement);
        m_state = State::Idle;
        sqlite3_clear_bindings(m_statement);
    }

    void check(int code) const
    {
        if (code != SQLITE_OK)
            fail(m_handle, code);
    }

    void bind(int at, const QVariant& value)
    {
        if (IsNullValue(value)) {
            check(sqlite3_bind_null(m_statement, at));
            return;
        }
        switch (value.typeId()) {
        case QMetaType::QString: {
            const QByteArray text = value.toString().toUtf8();
            check(sqlite3_bind_text(m_statement, at, text.constData(), int(text.size()),
                                    SQLITE_TRANSIENT));
            break;
        }
        case QMetaType::Double:
        case QMetaType::Float:
            check(sqlite3_bind_double(m_statement, at, value.toDouble()));
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            check(sqlite3_bind_blob(m_statement, at, bytes.constData(), int(bytes.size()),
                                    SQLITE_TRANSIENT));
            break;
        }
        default:
            check(sqlite3_bind_int64(m_statement, at, value.toLongLong()));
        }
    }

    void run()
    {
        m_state = State::Rows;
        m_changes = 0;
        if (step())
            m_state = State::FirstRow;
        else if (!sqlite3_stmt_readonly(m_statement))
            m_changes = sqlite3_changes64(m_handle);
    }

    // Steps once; false at the end, where the run ends.
    bool step()
    {
        const int code = ::step(m_statement);
        if (code == SQLITE_ROW)
            return true;
        m_state = State::Idle;
        if (code == SQLITE_DONE) {
            sqlite3_reset(m_statement);
            return false;
        }
        const CDBException error = failure(m_handle, code);
        sqlite3_reset(m_statement);
        throw error;
    }

    SqliteConnection* m_connection;
    sqlite3* m_handle;
    sqlite3_stmt* m_statement;
    State m_state = State::Idle;
    qint64 m_changes = 0;
};

namespace {

// A prepared INSERT of the columns, stepped once a row.
class SqliteRowWriter : public RowWriter
{
public:
    SqliteRowWriter(sqlite3* handle, sqlite3_stmt* insert) : m_handle(handle), m_insert(insert) {}
    ~SqliteRowWriter() override { sqlite3_finalize(m_insert); }
    SqliteRowWriter(const SqliteRowWriter&) = delete;
    SqliteRowWriter& operator=(const SqliteRowWriter&) = delete;

    void Integer(qint64 value) override { check(sqlite3_bind_int64(m_insert, ++m_at, value)); }
    void Text(QByteArrayView utf8) override
    {
        check(sqlite3_bind_text(m_insert, ++m_at, utf8.data(), int(utf8.size()), SQLITE_TRANSIENT));
    }
    void Text(QStringView text) override
    {
        check(sqlite3_bind_text16(m_insert, ++m_at, text.utf16(), int(text.size() * 2),
                                  SQLITE_TRANSIENT));
    }
    void Null() override { check(sqlite3_bind_null(m_insert, ++m_at)); }
    void EndRow() override
    {
        m_at = 0;
        const int code = ::step(m_insert);
        if (code != SQLITE_DONE) {
            const CDBException error = failure(m_handle, code);
            sqlite3_reset(m_insert);
            throw error;
        }
        sqlite3_reset(m_insert);
    }
    void Finish() override {}

private:
    void check(int code) const
    {
        if (code != SQLITE_OK)
            fail(m_handle, code);
    }

    sqlite3* m_handle;
    sqlite3_stmt* m_insert;
    int m_at = 0;
};

} // namespace

std::unique_ptr<SqliteConnection> SqliteConnection::Open(const QByteArray& uri, bool readOnly,
                                                         int busyTimeoutMs)
{
    // As Qt's SQLite driver opened files before: a private cache, no mutex of
    // SQLite's own (a connection belongs to one thread).
    const int flags =
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
        SQLITE_OPEN_URI | SQLITE_OPEN_PRIVATECACHE | SQLITE_OPEN_NOMUTEX;
    sqlite3* handle = nullptr;
    const int code = sqlite3_open_v2(uri.constData(), &handle, flags, nullptr);
    if (code != SQLITE_OK) {
        const CDBException error = failure(handle, code);
        sqlite3_close(handle);
        throw error;
    }
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, busyTimeoutMs);
    return std::unique_ptr<SqliteConnection>(new SqliteConnection(handle));
}

std::unique_ptr<SqliteConnection> SqliteConnection::OpenMemory()
{
    return Open(":memory:", false, 0);
}

SqliteConnection::SqliteConnection(sqlite3* handle) : m_handle(handle) {}

SqliteConnection::~SqliteConnection()
{
    m_begin.reset();
    m_commit.reset();
    for (SqliteStatement* statement : std::exchange(m_statements, {}))
        statement->Detach();
    sqlite3_close(m_handle);
}

void SqliteConnection::Note(SqliteStatement* statement)
{
    m_statements.insert(statement);
}

std::unique_ptr<Statement> SqliteConnection::Prepare(const QString& sql)
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* statement = nullptr;
    ++m_prepared;
    const int code =
        sqlite3_prepare_v2(m_handle, text.constData(), int(text.size()), &statement, nullptr);
    if (code != SQLITE_OK)
        fail(m_handle, code);
    return std::make_unique<SqliteStatement>(this, m_handle, statement);
}

void SqliteConnection::Execute(const QByteArray& sql)
{
    ++m_prepared;
    const int code = sqlite3_exec(m_handle, sql.constData(), nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        fail(m_handle, code);
}

void SqliteConnection::runKept(std::unique_ptr<Statement>& kept, const char* sql)
{
    if (!kept)
        kept = Prepare(QLatin1String(sql));
    kept->Exec(std::span<const qint64>());
}

void SqliteConnection::Begin()
{
    runKept(m_begin, "BEGIN");
}

void SqliteConnection::BeginWrite()
{
    Execute("BEGIN IMMEDIATE");
}

void SqliteConnection::Commit()
{
    try {
        runKept(m_commit, "COMMIT");
    } catch (...) {
        Rollback();
        throw;
    }
}

void SqliteConnection::Rollback()
{
    if (InTransaction())
        sqlite3_exec(m_handle, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::unique_ptr<RowWriter> SqliteConnection::AppendRows(const QString& table,
                                                        const QStringList& columns)
{
    QString sql = QStringLiteral("INSERT INTO \"%1\" (\"").arg(table) +
                  columns.join(QStringLiteral("\", \"")) + QStringLiteral("\") VALUES (");
    for (qsizetype i = 0; i < columns.size(); ++i)
        sql += i ? QStringLiteral(", ?") : QStringLiteral("?");
    sql += QLatin1Char(')');
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* insert = nullptr;
    ++m_prepared;
    const int code =
        sqlite3_prepare_v2(m_handle, text.constData(), int(text.size()), &insert, nullptr);
    if (code != SQLITE_OK)
        fail(m_handle, code);
    return std::make_unique<SqliteRowWriter>(m_handle, insert);
}

std::unique_ptr<StatementCancel> SqliteConnection::MakeCancel()
{
    return std::make_unique<Interrupt>(m_handle);
}

qint64 SqliteConnection::TotalChanges() const
{
    return sqlite3_total_changes64(m_handle);
}

bool SqliteConnection::InTransaction() const
{
    return sqlite3_get_autocommit(m_handle) == 0;
}

qint64 SqliteConnection::LastInsertId() const
{
    return sqlite3_last_insert_rowid(m_handle);
}

void SqliteConnection::SetBusyTimeout(int ms)
{
    sqlite3_busy_timeout(m_handle, ms);
}

QByteArray SqliteConnection::FileName() const
{
    const char* name = sqlite3_db_filename(m_handle, "main");
    return name ? QByteArray(name) : QByteArray();
}

std::optional<quint32> SqliteConnection::FileChangeCounter() const
{
    if (!InTransaction())
        return std::nullopt;
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(m_handle, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        !file || !file->pMethods)
        return std::nullopt;
    // Bytes 18 and 19: the read and write versions, 2 in WAL mode; 24 to 27:
    // the counter, big-endian.
    unsigned char bytes[10] = {};
    if (file->pMethods->xRead(file, bytes, sizeof bytes, 18) != SQLITE_OK)
        return std::nullopt;
    if (bytes[0] != 1 || bytes[1] != 1)
        return std::nullopt;
    return (quint32(bytes[6]) << 24) | (quint32(bytes[7]) << 16) | (quint32(bytes[8]) << 8) |
           quint32(bytes[9]);
}
