// A source of ODBC behind the Connection interface, through Qt SQL's QODBC
// driver: the one backend that stays on Qt SQL.

#include "db/backend/dbexception.h"
#include "db/backend/odbcconnect.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

CDBException failure(const QSqlError& error)
{
    return CDBException(error.text());
}

class OdbcStatement : public Statement
{
public:
    OdbcStatement(const QSqlDatabase& db, const QString& sql) : m_query(db), m_sql(sql)
    {
        m_query.setForwardOnly(true);
    }

    void Exec(const QVariantList& values) override
    {
        m_onRow = false;
        // Prepared when first run: the driver may go to the source for it.
        if (!m_sql.isEmpty()) {
            if (!m_query.prepare(m_sql))
                throw failure(m_query.lastError());
            m_sql.clear();
        }
        for (int i = 0; i < values.size(); ++i)
            m_query.bindValue(i, values.at(i));
        if (!m_query.exec())
            throw failure(m_query.lastError());
    }

    void Exec(std::span<const qint64> values) override
    {
        QVariantList list;
        for (const qint64 v : values)
            list << v;
        Exec(list);
    }

    bool Next() override
    {
        m_onRow = m_query.next();
        if (m_onRow)
            return true;
        const QSqlError error = m_query.lastError();
        m_query.finish();
        if (error.isValid())
            throw failure(error);
        return false;
    }

    void Finish() override
    {
        m_onRow = false;
        m_query.finish();
    }

    qint64 RowsAffected() const override { return m_query.numRowsAffected(); }

    ValueType Type(int column) const override
    {
        if (!m_onRow || m_query.isNull(column))
            return ValueType::Null;
        switch (m_query.value(column).typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            return ValueType::Integer;
        case QMetaType::Double:
        case QMetaType::Float:
            return ValueType::Real;
        case QMetaType::QByteArray:
            return ValueType::Blob;
        default:
            return ValueType::Text;
        }
    }
    qint64 Int64(int column) const override { return m_query.value(column).toLongLong(); }
    QString Text(int column) const override { return m_query.value(column).toString(); }
    bool TextBytes(int, QByteArrayView*) const override { return false; }
    QVariant Value(int column) const override { return m_query.value(column); }

private:
    QSqlQuery m_query;
    QString m_sql; // until it is prepared
    bool m_onRow = false;
};

// A prepared INSERT run a row at a time.
class OdbcRowWriter : public RowWriter
{
public:
    OdbcRowWriter(const QSqlDatabase& db, const QString& sql) : m_insert(db, sql) {}
    void Integer(qint64 value) override { m_row << value; }
    void Text(QByteArrayView utf8) override { m_row << QString::fromUtf8(utf8); }
    void Text(QStringView text) override { m_row << text.toString(); }
    void Null() override { m_row << QVariant(); }
    void EndRow() override
    {
        m_insert.Exec(m_row);
        m_row.clear();
    }
    void Finish() override {}

private:
    OdbcStatement m_insert;
    QVariantList m_row;
};

class OdbcConnection : public Connection
{
public:
    explicit OdbcConnection(QString name) : m_name(std::move(name)) {}
    ~OdbcConnection() override
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }

    Dialect::Backend Backend() const override { return Dialect::Backend::Odbc; }
    bool IsOpen() const override { return db().isOpen(); }
    std::unique_ptr<Statement> Prepare(const QString& sql) override
    {
        return std::make_unique<OdbcStatement>(db(), sql);
    }
    void Execute(const QByteArray& sql) override
    {
        QSqlQuery q(db());
        if (!q.exec(QString::fromUtf8(sql)))
            throw failure(q.lastError());
    }
    void Begin() override
    {
        QSqlDatabase d = db();
        if (!d.transaction())
            throw failure(d.lastError());
    }
    void BeginWrite() override { Begin(); }
    void Commit() override
    {
        QSqlDatabase d = db();
        if (!d.commit()) {
            const QSqlError error = d.lastError();
            d.rollback();
            throw failure(error);
        }
    }
    void Rollback() override { db().rollback(); }
    std::unique_ptr<RowWriter> AppendRows(const QString& table, const QStringList& columns) override
    {
        QString sql = QStringLiteral("INSERT INTO [%1] ([").arg(table) +
                      columns.join(QStringLiteral("], [")) + QStringLiteral("]) VALUES (");
        for (qsizetype i = 0; i < columns.size(); ++i)
            sql += i ? QStringLiteral(", ?") : QStringLiteral("?");
        return std::make_unique<OdbcRowWriter>(db(), sql + QLatin1Char(')'));
    }
    std::unique_ptr<StatementCancel> MakeCancel() override
    {
        // The driver has no way to stop a statement from another thread.
        struct Nothing : StatementCancel
        {
            void Cancel() override {}
        };
        return std::make_unique<Nothing>();
    }

private:
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    QString m_name;
};

} // namespace

std::unique_ptr<Connection> OpenOdbc(const Location& location)
{
    static QAtomicInt connections;
    const QString name = QStringLiteral("zq-odbc-%1").arg(connections.fetchAndAddRelaxed(1) + 1);
    OpenOdbcConnection(name, location);
    auto connection = std::make_unique<OdbcConnection>(name);
    VerifyOdbcTables(QSqlDatabase::database(name, false), location.Shown());
    return connection;
}
