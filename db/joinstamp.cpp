#include "db/joinstamp.h"

#include "db/backend/dbexception.h"
#include "db/backend/sqlitehandle.h"
#include "db/commitcounter.h"
#include "db/record/database.h"

#include <QCryptographicHash>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <sqlite3.h>

namespace {

std::atomic<quint64> g_fullChecks{0};

QSqlQuery run(const CDatabase& db, const QString& sql, const QVariant& bound = {})
{
    if (!bound.isValid() && db.GetDialect().GetBackend() == Dialect::Backend::Postgres) {
        // Run once as it is: one round trip, where preparing it takes three.
        if (!db.IsOpen())
            throw CDBException(QStringLiteral("The database is not connected."));
        QSqlQuery q(db.Handle());
        q.setForwardOnly(true);
        if (!q.exec(db.GetDialect().Sql(sql)))
            throw CDBException(q.lastError().text());
        return q;
    }
    QSqlQuery q = db.Prepare(sql);
    q.setForwardOnly(true);
    if (bound.isValid())
        q.addBindValue(bound);
    CDatabase::Exec(q);
    return q;
}

qint64 number(const CDatabase& db, const QString& sql, const QVariant& bound = {})
{
    if (db.GetDialect().GetBackend() == Dialect::Backend::Postgres) {
        // One round trip, where the driver's PREPARE, EXECUTE and DEALLOCATE take three.
        PreparedQuery q(db, sql);
        q.Exec(bound.isValid() ? QVariantList{bound} : QVariantList{});
        const auto finish = qScopeGuard([&q] { q.Finish(); });
        if (!q.Next())
            throw CDBException(QStringLiteral("No result from: ") + sql);
        return q.Int64(0);
    }
    QSqlQuery q = run(db, sql, bound);
    if (!q.next())
        throw CDBException(q.lastError().isValid() ? q.lastError().text()
                                                   : QStringLiteral("No result from: ") + sql);
    return q.value(0).toLongLong();
}

// The numbers that change with every write: when they are as they were,
// nothing else needs to be read.
void readVersion(const CDatabase& db, JoinStamp& s, PreparedQuery* kept)
{
    s.connection = db.Handle().connectionName();
    if (!db.GetDialect().HasDataVersion())
        return; // nothing cheap tells a write there: the contents are compared
    PreparedQuery made;
    PreparedQuery& q = kept && kept->IsPrepared() ? *kept : (made = JoinStamp::VersionQuery(db));
    const auto finish = qScopeGuard([&q] { q.Finish(); });
    q.Exec();
    if (!q.Next())
        throw CDBException(QStringLiteral("The database tells no data version."));
    s.dataVersion = q.Int64(0);
    if (!db.GetDialect().IsSqlite()) {
        s.ownChanges = q.Int64(1);
        return;
    }
    // total_changes(): the statement stays a plain pragma, which the table of
    // the same name would prepare anew on every run.
    sqlite3* handle = SqliteHandle(db.Handle());
    if (!handle)
        throw CDBException(QStringLiteral("The database is not connected."));
    s.ownChanges = sqlite3_total_changes64(handle);
}

// The file's change counter, which tells the commits since apart.
void readCounter(const CDatabase& db, JoinStamp& s)
{
    // Outside a transaction the counter could change before anything else is
    // read.
    sqlite3* handle = SqliteHandle(db.Handle());
    if (handle && !sqlite3_get_autocommit(handle)) {
        if (const std::optional<quint32> counter = commitcounter::ReadInTransaction(handle)) {
            s.fileCounter = *counter;
            s.file = commitcounter::FileKey(handle);
        }
    }
}

// A few hundred rows at most; the type of each value counts too, as the join
// compares numbers and texts differently.
QByteArray digestOfUsers(const CDatabase& db)
{
    QSqlQuery q = run(db, db.GetDialect().UsersDigestSql());
    QCryptographicHash hash(QCryptographicHash::Sha1);
    while (q.next()) {
        for (int i = 0; i < 6; ++i) {
            const QByteArray value = q.value(i).toString().toUtf8();
            const auto size = static_cast<qint32>(value.size());
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
            hash.addData(value);
        }
    }
    if (q.lastError().isValid())
        throw CDBException(q.lastError().text());
    return hash.result();
}

void readContent(const CDatabase& db, JoinStamp& s)
{
    s.usersDigest = digestOfUsers(db);
    // Counts the pages of the table without reading its rows.
    s.eventCount = number(db, QStringLiteral("SELECT count(*) FROM EVENTS"));
    s.lastEvent = number(db, QStringLiteral("SELECT coalesce(max([INDEX]), 0) FROM EVENTS"));
}

} // namespace

JoinStamp JoinStamp::Take(const CDatabase& db, PreparedQuery* version)
{
    JoinStamp s;
    readVersion(db, s, version);
    readCounter(db, s);
    readContent(db, s);
    return s;
}

PreparedQuery JoinStamp::VersionQuery(const CDatabase& db)
{
    if (!db.GetDialect().HasDataVersion())
        return {};
    return {db, db.GetDialect().DataVersionSql()};
}

quint64 JoinStamp::FullChecks()
{
    return g_fullChecks.load();
}

JoinChange JoinStamp::ChangeSince(const CDatabase& db, JoinStamp* now, PreparedQuery* version) const
{
    JoinStamp current;
    readVersion(db, current, version);
    const bool sameConnection = IsValid() && current.connection == connection;
    if (sameConnection && current.dataVersion >= 0 && current.dataVersion == dataVersion &&
        current.ownChanges == ownChanges) {
        *now = *this;
        return JoinChange::None;
    }
    readCounter(db, current);
    // Every commit, whoever made it, moves the counter on.
    const bool counted = IsValid() && fileCounter >= 0 && current.fileCounter >= 0 &&
                         current.file == file &&
                         (!sameConnection || current.ownChanges == ownChanges);
    if (counted && current.fileCounter == fileCounter) {
        current.usersDigest = usersDigest;
        current.eventCount = eventCount;
        current.lastEvent = lastEvent;
        *now = current;
        return JoinChange::None;
    }
    if (counted &&
        commitcounter::OnlyOwnAppends(file, quint32(fileCounter), quint32(current.fileCounter))) {
        const qint64 newer =
            number(db, QStringLiteral("SELECT count(*) FROM EVENTS WHERE [INDEX] > ?"), lastEvent);
        current.usersDigest = usersDigest;
        current.eventCount = eventCount + newer;
        current.lastEvent =
            newer > 0 ? number(db, QStringLiteral("SELECT max([INDEX]) FROM EVENTS")) : lastEvent;
        *now = current;
        return newer > 0 ? JoinChange::Appended : JoinChange::None;
    }

    ++g_fullChecks;
    readContent(db, current);
    *now = current;
    if (!IsValid() || current.usersDigest != usersDigest)
        return JoinChange::Other;
    // Events deleted or inserted up to the last one counted change the count
    // of those, unless the last one itself went; the newer ones are few and
    // found through the key.
    const qint64 newer =
        number(db, QStringLiteral("SELECT count(*) FROM EVENTS WHERE [INDEX] > ?"), lastEvent);
    const qint64 last = number(
        db, QStringLiteral("SELECT coalesce(max([INDEX]), 0) FROM EVENTS WHERE [INDEX] <= ?"),
        lastEvent);
    if (current.eventCount - newer != eventCount || last != lastEvent)
        return JoinChange::Other;
    return newer > 0 ? JoinChange::Appended : JoinChange::None;
}
