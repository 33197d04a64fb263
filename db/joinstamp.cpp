#include "db/joinstamp.h"

#include "db/backend/dbexception.h"
#include "db/backend/sqliteconnection.h"
#include "db/commitcounter.h"
#include "db/record/database.h"

#include <QCryptographicHash>
#include <QScopeGuard>
#include <atomic>

namespace {

std::atomic<quint64> g_fullChecks{0};

qint64 number(const CDatabase& db, const QString& sql, const QVariant& bound = {})
{
    PreparedQuery q(db, sql);
    q.Exec(bound.isValid() ? QVariantList{bound} : QVariantList{});
    const auto finish = qScopeGuard([&q] { q.Finish(); });
    if (!q.Next())
        throw CDBException(QStringLiteral("No result from: ") + sql);
    return q.Int64(0);
}

// The numbers that change with every write: when they are as they were,
// nothing else needs to be read.
void readVersion(const CDatabase& db, JoinStamp& s, PreparedQuery* kept)
{
    s.connection = db.ConnectionName();
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
    const SqliteConnection* file = db.Sqlite();
    if (!file)
        throw CDBException(QStringLiteral("The database is not connected."));
    s.ownChanges = file->TotalChanges();
}

// The file's change counter, which tells the commits since apart.
void readCounter(const CDatabase& db, JoinStamp& s)
{
    // Outside a transaction the counter could change before anything else is
    // read.
    const SqliteConnection* file = db.IsOpen() ? db.Sqlite() : nullptr;
    if (file) {
        if (const std::optional<quint32> counter = file->FileChangeCounter()) {
            s.fileCounter = *counter;
            s.file = file->FileName();
        }
    }
}

// A few hundred rows at most; the type of each value counts too, as the join
// compares numbers and texts differently.
QByteArray digestOfUsers(const CDatabase& db)
{
    PreparedQuery q(db, db.GetDialect().UsersDigestSql());
    q.Exec();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    while (q.Next()) {
        for (int i = 0; i < 6; ++i) {
            const QByteArray value = q.Value(i).toString().toUtf8();
            const auto size = static_cast<qint32>(value.size());
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
            hash.addData(value);
        }
    }
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
