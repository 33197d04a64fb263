#include "db/record/preparedquery.h"

#include "db/backend/dbexception.h"
#include "db/backend/sqlitehandle.h"
#include "db/record/database.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <sqlite3.h>
#include <utility>

PreparedQuery::PreparedQuery(const CDatabase& db, const QString& sql)
    : m_prepared(true), m_sqlite(db.GetDialect().IsSqlite())
{
    if (m_sqlite) {
        m_query = db.Prepare(sql);
        m_sqlite = SqliteStatement(m_query) != nullptr;
    } else {
        if (!db.IsOpen())
            throw CDBException(QStringLiteral("The database is not connected."));
        m_query = QSqlQuery(db.Handle());
        m_unprepared = db.GetDialect().Sql(sql);
        if (db.GetDialect().GetBackend() == Dialect::Backend::Postgres)
            m_server = ServerStatement(m_unprepared);
        m_connection = db.Handle().connectionName();
    }
    m_query.setForwardOnly(true);
}

void PreparedQuery::prepareOnServer()
{
    if (m_unprepared.isEmpty())
        return;
    if (!m_query.prepare(m_unprepared))
        throw CDBException(m_query.lastError().text());
    m_unprepared.clear();
}

bool PreparedQuery::execOnServer(const QVariantList& values)
{
    m_serverRun = false;
    m_server.Clear();
    if (!m_server.IsMade())
        return false;
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // A query of the driver's still under way holds the connection: then
    // the driver, which ends that one first.
    if (!ServerStatement::CanRun(db))
        return false;
    m_query.finish();
    m_server.Exec(db, values);
    m_serverRun = true;
    return true;
}

void PreparedQuery::Exec(std::initializer_list<qint64> values)
{
    if (!m_prepared)
        throw CDBException(QStringLiteral("The database is not connected."));
    if (!m_sqlite) {
        if (m_server.IsMade()) {
            QVariantList list;
            for (const qint64 v : values)
                list << v;
            if (execOnServer(list))
                return;
        }
        prepareOnServer();

        int i = 0;
        for (const qint64 v : values)
            m_query.bindValue(i++, v);
        CDatabase::Exec(m_query);
        return;
    }
    // A run given up half way ends here; the statement is asked for anew, as
    // the driver finalises it when the connection closes.
    m_statement = nullptr;
    sqlite3_stmt* statement = SqliteStatement(m_query);
    if (!statement)
        throw CDBException(QStringLiteral("The database is not connected."));
    sqlite3_reset(statement);
    int i = 0;
    for (const qint64 v : values) {
        if (sqlite3_bind_int64(statement, ++i, v) != SQLITE_OK)
            throw CDBException(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(statement))));
    }
    m_statement = statement;
}

void PreparedQuery::Exec(const QVariantList& values)
{
    if (!m_prepared)
        throw CDBException(QStringLiteral("The database is not connected."));
    if (!m_sqlite) {
        if (execOnServer(values))
            return;
        prepareOnServer();
        for (int i = 0; i < values.size(); ++i)
            m_query.bindValue(i, values.at(i));
        CDatabase::Exec(m_query);
        return;
    }
    m_statement = nullptr;
    sqlite3_stmt* statement = SqliteStatement(m_query);
    if (!statement)
        throw CDBException(QStringLiteral("The database is not connected."));
    sqlite3_reset(statement);
    for (int i = 0; i < values.size(); ++i) {
        const QVariant& value = values.at(i);
        int bound = SQLITE_OK;
        if (value.typeId() == QMetaType::QString) {
            const QByteArray text = value.toString().toUtf8();
            bound = sqlite3_bind_text(statement, i + 1, text.constData(), int(text.size()),
                                      SQLITE_TRANSIENT);
        } else {
            bound = sqlite3_bind_int64(statement, i + 1, value.toLongLong());
        }
        if (bound != SQLITE_OK)
            throw CDBException(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(statement))));
    }
    m_statement = statement;
}

bool PreparedQuery::Next()
{
    if (m_serverRun) {
        m_serverRun = m_server.Next();
        return m_serverRun;
    }
    if (!m_sqlite) {
        if (m_query.next())
            return true;
        const QSqlError error = m_query.lastError();
        m_query.finish();
        if (error.isValid())
            throw CDBException(error.text());
        return false;
    }
    if (!m_statement)
        return false;
    ClearUpperVectorState();
    const int step = sqlite3_step(m_statement);
    if (step == SQLITE_ROW)
        return true;
    sqlite3_stmt* statement = std::exchange(m_statement, nullptr);
    if (step == SQLITE_DONE) {
        sqlite3_reset(statement);
        return false;
    }
    const QString error = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(statement)));
    sqlite3_reset(statement);
    throw CDBException(error);
}

void PreparedQuery::Finish()
{
    if (m_serverRun) {
        m_serverRun = false;
        m_server.Clear();
    } else if (!m_sqlite)
        m_query.finish();
    else if (m_statement)
        sqlite3_reset(std::exchange(m_statement, nullptr));
}

QVariant PreparedQuery::Value(int column) const
{
    if (m_serverRun)
        return m_server.Value(column);
    return m_statement ? SqliteValue(m_statement, column) : m_query.value(column);
}

bool PreparedQuery::IsNull(int column) const
{
    if (m_serverRun)
        return m_server.IsNull(column);
    return m_statement ? sqlite3_column_type(m_statement, column) == SQLITE_NULL
                       : m_query.isNull(column);
}

qint64 PreparedQuery::Int64(int column) const
{
    if (m_serverRun)
        return m_server.Int64(column);
    if (m_statement && sqlite3_column_type(m_statement, column) == SQLITE_INTEGER)
        return sqlite3_column_int64(m_statement, column);
    return Value(column).toLongLong();
}

qint32 PreparedQuery::Int32(int column) const
{
    if (m_serverRun)
        return static_cast<qint32>(m_server.Int64(column));
    if (m_statement && sqlite3_column_type(m_statement, column) == SQLITE_INTEGER)
        return static_cast<qint32>(sqlite3_column_int64(m_statement, column));
    return Value(column).toInt();
}

QString PreparedQuery::Text(int column) const
{
    if (m_serverRun)
        return m_server.Text(column);
    if (m_statement && sqlite3_column_type(m_statement, column) == SQLITE_TEXT) {
        // Plain ASCII, the usual case, reads the same without converting it
        // to UTF-16 inside SQLite first.
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
