#include "db/joinstamp.h"

#include "db/database.h"
#include "db/dbexception.h"

#include <QCryptographicHash>
#include <QSqlError>
#include <QSqlQuery>

namespace {

QSqlQuery run(const CDatabase& db, const QString& sql, const QVariant& bound = {})
{
    QSqlQuery q = db.Prepare(sql);
    q.setForwardOnly(true);
    if (bound.isValid())
        q.addBindValue(bound);
    CDatabase::Exec(q);
    return q;
}

qint64 number(const CDatabase& db, const QString& sql, const QVariant& bound = {})
{
    QSqlQuery q = run(db, sql, bound);
    if (!q.next())
        throw CDBException(q.lastError().isValid() ? q.lastError().text()
                                                   : QStringLiteral("No result from: ") + sql);
    return q.value(0).toLongLong();
}

void readVersion(const CDatabase& db, JoinStamp& s)
{
    QSqlQuery q =
        run(db, QStringLiteral("SELECT data_version, total_changes() FROM pragma_data_version"));
    if (!q.next())
        throw CDBException(q.lastError().text());
    s.connection = db.Handle().connectionName();
    s.dataVersion = q.value(0).toLongLong();
    s.ownChanges = q.value(1).toLongLong();
}

// A few hundred rows at most; the type of each value counts too, as the join
// compares numbers and texts differently.
QByteArray digestOfUsers(const CDatabase& db)
{
    QSqlQuery q = run(db, QStringLiteral("SELECT typeof([INDEX]) || typeof(NAME) || "
                                         "typeof(USER_NO) || typeof(DATE_START) || "
                                         "typeof(DATE_STOP), [INDEX], NAME, USER_NO, DATE_START, "
                                         "DATE_STOP FROM USERS ORDER BY [INDEX]"));
    QCryptographicHash hash(QCryptographicHash::Sha1);
    while (q.next()) {
        for (int i = 0; i < 6; ++i) {
            const QByteArray value = q.value(i).toString().toUtf8();
            const qint32 size = value.size();
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
            hash.addData(value);
        }
    }
    if (q.lastError().isValid())
        throw CDBException(q.lastError().text());
    return hash.result();
}

// Counting EVENTS visits every page of the table. Read one by one, the pages
// of a million events take over 10 ms; through a map of the file, about 4 ms
// after another connection's commit (the map is made anew then) and under
// 1 ms otherwise. The map lasts as long as the connection.
void mapIntoMemory(const CDatabase& db)
{
    constexpr qint64 kMapBytes = qint64(1) << 30;
    if (number(db, QStringLiteral("PRAGMA mmap_size")) == 0)
        run(db, QStringLiteral("PRAGMA mmap_size = %1").arg(kMapBytes));
}

void readContent(const CDatabase& db, JoinStamp& s)
{
    mapIntoMemory(db);
    s.usersDigest = digestOfUsers(db);
    // Counts the pages of the table without reading its rows.
    s.eventCount = number(db, QStringLiteral("SELECT count(*) FROM EVENTS"));
    s.lastEvent = number(db, QStringLiteral("SELECT ifnull(max([INDEX]), 0) FROM EVENTS"));
}

} // namespace

JoinStamp JoinStamp::Take(const CDatabase& db)
{
    JoinStamp s;
    readVersion(db, s);
    readContent(db, s);
    return s;
}

JoinChange JoinStamp::ChangeSince(const CDatabase& db, JoinStamp* now) const
{
    JoinStamp current;
    readVersion(db, current);
    if (IsValid() && current.connection == connection && current.dataVersion == dataVersion &&
        current.ownChanges == ownChanges) {
        *now = *this;
        return JoinChange::None;
    }
    readContent(db, current);
    *now = current;
    if (!IsValid() || current.connection != connection || current.usersDigest != usersDigest)
        return JoinChange::Other;
    // Events deleted or inserted up to the last one counted change the count
    // of those, unless the last one itself went; the newer ones are few and
    // found through the key.
    const qint64 newer =
        number(db, QStringLiteral("SELECT count(*) FROM EVENTS WHERE [INDEX] > ?"), lastEvent);
    const qint64 last =
        number(db, QStringLiteral("SELECT ifnull(max([INDEX]), 0) FROM EVENTS WHERE [INDEX] <= ?"),
               lastEvent);
    if (current.eventCount - newer != eventCount || last != lastEvent)
        return JoinChange::Other;
    return newer > 0 ? JoinChange::Appended : JoinChange::None;
}
