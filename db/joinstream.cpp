#include "db/joinstream.h"

#include "db/backend/dbexception.h"
#include "db/pgjoinstream.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"
#include "db/zq6set.h"

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
    PreparedQuery info(db, QStringLiteral("PRAGMA table_info(\"%1\")").arg(QLatin1String(table)));
    info.Exec();
    while (info.Next()) {
        if (info.Text(1).compare(QLatin1String(column), Qt::CaseInsensitive) == 0) {
            const Affinity affinity = affinityOf(info.Text(2));
            info.Finish();
            return affinity;
        }
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

// The rows of one statement, read as they come.
void stream(CDatabase& db, const QString& sql, const QVariantList& values,
            const std::function<bool(const JoinedRowValues&)>& onRow)
{
    PreparedQuery q(db, sql);
    q.Exec(values);
    const JoinedRowValues row(q.Row());
    while (q.Next()) {
        if (!onRow(row)) {
            q.Finish();
            return;
        }
    }
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
    if (db.GetDialect().IsSqlite()) {
        stream(db,
               QStringLiteral("SELECT ") + kColumns + QStringLiteral(" FROM ") + joinText(db) +
                   where + kOrder,
               filtered.values, onRow);
    } else {
        const QString select = QStringLiteral("SELECT ") + kColumns + QStringLiteral(" FROM ") +
                               CZq6Set(&db).GetDefaultSQL();
        if (!StreamJoinedRowsFromServer(db, select, where, filtered.values, kOrder, onRow))
            stream(db, select + where + kOrder, filtered.values, onRow);
    }
}

JoinSql JoinSqlFor(CDatabase& db, const JoinFilter& filter)
{
    const FilterTerms terms = ResolveFilterTerms(db, filter);
    const FilterWhere filtered = terms.Where(FewerEventsDrive(db, terms));
    return {db.GetDialect().IsSqlite() ? joinText(db) : CZq6Set(&db).GetDefaultSQL(),
            filtered.IsEmpty() ? QString() : QStringLiteral(" WHERE ") + filtered.sql,
            filtered.values};
}
