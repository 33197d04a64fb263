#include "db/commitcounter.h"

#include "db/backend/dbexception.h"
#include "db/backend/sqliteconnection.h"
#include "db/record/database.h"
#include "db/record/events.h"

#include <QHash>
#include <QMutex>
#include <QScopeGuard>
#include <QSet>
#include <deque>

namespace commitcounter {

namespace {

// Enough for every download of a long session; the oldest go first.
constexpr size_t kNotedPerFile = 256;

struct Noted
{
    QSet<quint32> befores;
    std::deque<quint32> order;
};

QMutex g_mutex;
QHash<QByteArray, Noted> g_noted;

} // namespace

std::optional<quint32> ReadNow(const CDatabase& db)
{
    SqliteConnection* file = db.IsOpen() ? db.Sqlite() : nullptr;
    if (!file || file->InTransaction())
        return std::nullopt;
    // Never waits for another program's lock: the counter only saves work
    // later, and the append itself waits as long as the connection allows.
    file->SetBusyTimeout(0);
    const auto restoreWait = qScopeGuard([&] { file->SetBusyTimeout(CDatabase::kBusyTimeoutMs); });
    std::optional<quint32> counter;
    try {
        // A read of the schema takes the shared lock, which holds the file
        // still until the end of the transaction.
        file->Execute("BEGIN; SELECT count(*) FROM sqlite_master");
        counter = file->FileChangeCounter();
        file->Execute("COMMIT");
    } catch (const CDBException&) {
        file->Rollback();
        return std::nullopt;
    }
    return counter;
}

void NoteOwnAppend(const QByteArray& file, quint32 before)
{
    if (file.isEmpty())
        return;
    QMutexLocker lock(&g_mutex);
    Noted& noted = g_noted[file];
    if (noted.befores.contains(before))
        return;
    noted.befores.insert(before);
    noted.order.push_back(before);
    if (noted.order.size() > kNotedPerFile) {
        noted.befores.remove(noted.order.front());
        noted.order.pop_front();
    }
}

bool OnlyOwnAppends(const QByteArray& file, quint32 from, quint32 to)
{
    if (file.isEmpty() || from == to || quint32(to - from) > kNotedPerFile)
        return false;
    QMutexLocker lock(&g_mutex);
    const auto it = g_noted.constFind(file);
    if (it == g_noted.cend())
        return false;
    for (quint32 at = from; at != to; ++at) {
        if (!it->befores.contains(at))
            return false;
    }
    return true;
}

qint64 AppendNoted(CEVENTS& record, const QVector<NewEvent>& events)
{
    const CDatabase& db = *record.GetDatabase();
    const std::optional<quint32> before = ReadNow(db);
    const qint64 stored = AppendEventBatch(record, events);
    const std::optional<quint32> after = ReadNow(db);
    if (before && after && *after == *before + 1)
        NoteOwnAppend(db.Sqlite()->FileName(), *before);
    return stored;
}

} // namespace commitcounter
