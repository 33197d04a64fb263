#include "db/joinstream.h"

#include "db/backend/dbexception.h"
#include "db/backend/sqlitehandle.h"
#include "db/pgjoinstream.h"
#include "db/record/database.h"
#include "db/zq6set.h"

#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

namespace {

const QString kColumns = QStringLiteral("[EVENTS].[INDEX], [EVENTS].[TIMER], [EVENTS].[DATE], "
                                        "[EVENTS].[USER_NO], [EVENTS].[BUTTON], [USERS].[NAME]");
const QString kOrder = QStringLiteral(" ORDER BY [EVENTS].[INDEX], [USERS].[INDEX]");

// The join of the set with the dates compared without column affinity. With
// NUMERIC affinity SQLite tries to read every text date as a number on each
// comparison; that cannot change the outcome when all three date columns
// have the same affinity, NUMERIC or TEXT, since every value was stored under
// that same affinity. Any other mix keeps the set's own join.
const QString kPlainDateJoin =
    QStringLiteral("[EVENTS] LEFT OUTER JOIN [USERS] ON EVENTS.USER_NO = USERS.USER_NO AND "
                   "+EVENTS.DATE > +USERS.DATE_START AND +EVENTS.DATE < +USERS.DATE_STOP");

enum class Affinity
{
    Integer,
    Text,
    Blob,
    Real,
    Numeric
};

// SQLite's rules for the affinity of a declared column type.
Affinity affinityOf(const QString& declared)
{
    const QString type = declared.toUpper();
    if (type.contains(QLatin1String("INT")))
        return Affinity::Integer;
    if (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB")) ||
        type.contains(QLatin1String("TEXT")))
        return Affinity::Text;
    if (type.isEmpty() || type.contains(QLatin1String("BLOB")))
        return Affinity::Blob;
    if (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("FLOA")) ||
        type.contains(QLatin1String("DOUB")))
        return Affinity::Real;
    return Affinity::Numeric;
}

Affinity columnAffinity(const CDatabase& db, const char* table, const char* column)
{
    QSqlQuery info(db.Handle());
    if (!info.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(QLatin1String(table))))
        throw CDBException(info.lastError().text());
    while (info.next()) {
        if (info.value(1).toString().compare(QLatin1String(column), Qt::CaseInsensitive) == 0)
            return affinityOf(info.value(2).toString());
    }
    return Affinity::Blob;
}

QString joinText(CDatabase& db)
{
    const Affinity date = columnAffinity(db, "EVENTS", "DATE");
    if ((date == Affinity::Numeric || date == Affinity::Text) &&
        columnAffinity(db, "USERS", "DATE_START") == date &&
        columnAffinity(db, "USERS", "DATE_STOP") == date)
        return kPlainDateJoin;
    return CZq6Set(&db).GetDefaultSQL();
}

class SqliteRow : public JoinedRowValues
{
public:
    explicit SqliteRow(sqlite3_stmt* statement) : m_statement(statement) {}

    QVariant Value(Column column) const override { return SqliteValue(m_statement, column); }

    bool IsNull(Column column) const override
    {
        return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
    }

    bool Text(Column column, QByteArrayView* text) const override
    {
        if (sqlite3_column_type(m_statement, column) != SQLITE_TEXT)
            return false;
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        *text = QByteArrayView(bytes, sqlite3_column_bytes(m_statement, column));
        return true;
    }

    bool Integer(Column column, qint64* value) const override
    {
        if (sqlite3_column_type(m_statement, column) != SQLITE_INTEGER)
            return false;
        *value = sqlite3_column_int64(m_statement, column);
        return true;
    }

private:
    sqlite3_stmt* m_statement;
};

class QueryRow : public JoinedRowValues
{
public:
    explicit QueryRow(const QSqlQuery& query) : m_query(query) {}
    QVariant Value(Column column) const override { return m_query.value(column); }
    bool IsNull(Column column) const override { return m_query.isNull(column); }
    bool Text(Column, QByteArrayView*) const override { return false; }
    bool Integer(Column, qint64*) const override { return false; }

private:
    const QSqlQuery& m_query;
};

[[noreturn]] void fail(sqlite3* handle)
{
    throw CDBException(QString::fromUtf8(sqlite3_errmsg(handle)));
}

void streamWithSqlite(sqlite3* handle, const QString& sql, const QVariantList& values,
                      const std::function<bool(const JoinedRowValues&)>& onRow)
{
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &statement, nullptr) !=
        SQLITE_OK)
        fail(handle);
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> finalize(statement,
                                                                         sqlite3_finalize);
    for (int i = 0; i < values.size(); ++i) {
        const QVariant& value = values.at(i);
        if (value.typeId() == QMetaType::QString) {
            const QByteArray text = value.toString().toUtf8();
            sqlite3_bind_text(statement, i + 1, text.constData(), int(text.size()),
                              SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_int64(statement, i + 1, value.toLongLong());
        }
    }
    const SqliteRow row(statement);
    for (;;) {
        ClearUpperVectorState();
        const int step = sqlite3_step(statement);
        if (step == SQLITE_DONE)
            return;
        if (step != SQLITE_ROW)
            fail(handle);
        if (!onRow(row))
            return;
    }
}

void streamWithQt(CDatabase& db, const QString& sql, const QVariantList& values,
                  const std::function<bool(const JoinedRowValues&)>& onRow)
{
    QSqlQuery q = db.Prepare(sql);
    q.setForwardOnly(true);
    for (const QVariant& value : values)
        q.addBindValue(value);
    CDatabase::Exec(q);
    const QueryRow row(q);
    while (q.next()) {
        if (!onRow(row))
            return;
    }
    if (q.lastError().isValid())
        throw CDBException(q.lastError().text());
}

} // namespace

void StreamJoinedRows(CDatabase& db, const std::function<bool(const JoinedRowValues&)>& onRow,
                      const JoinFilter& filter)
{
    if (!db.IsOpen())
        throw CDBException(QStringLiteral("The database is not connected."));
    const FilterTerms terms = ResolveFilterTerms(db, filter);
    const FilterWhere filtered = terms.Where(FewerEventsDrive(db, terms));
    const QString where = filtered.IsEmpty() ? QString() : QStringLiteral(" WHERE ") + filtered.sql;
    if (sqlite3* handle = SqliteHandle(db.Handle())) {
        streamWithSqlite(handle,
                         QStringLiteral("SELECT ") + kColumns + QStringLiteral(" FROM ") +
                             joinText(db) + where + kOrder,
                         filtered.values, onRow);
    } else {
        const QString select = QStringLiteral("SELECT ") + kColumns + QStringLiteral(" FROM ") +
                               CZq6Set(&db).GetDefaultSQL();
        if (!StreamJoinedRowsFromServer(db, select, where, filtered.values, kOrder, onRow))
            streamWithQt(db, select + where + kOrder, filtered.values, onRow);
    }
}

JoinSql JoinSqlFor(CDatabase& db, const JoinFilter& filter)
{
    const FilterTerms terms = ResolveFilterTerms(db, filter);
    const FilterWhere filtered = terms.Where(FewerEventsDrive(db, terms));
    return {SqliteHandle(db.Handle()) ? joinText(db) : CZq6Set(&db).GetDefaultSQL(),
            filtered.IsEmpty() ? QString() : QStringLiteral(" WHERE ") + filtered.sql,
            filtered.values};
}
