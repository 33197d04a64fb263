#include "db/commitcounter.h"

#include "db/backend/sqlitehandle.h"
#include "db/record/database.h"
#include "db/record/events.h"

#include <QHash>
#include <QMutex>
#include <QScopeGuard>
#include <QSet>
#include <deque>
#include <sqlite3.h>

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

std::optional<quint32> ReadInTransaction(sqlite3* handle)
{
    if (!handle)
        return std::nullopt;
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(handle, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
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

std::optional<quint32> ReadNow(const CDatabase& db)
{
    sqlite3* handle = db.IsOpen() ? SqliteHandle(db.Handle()) : nullptr;
    if (!handle || !sqlite3_get_autocommit(handle))
        return std::nullopt;
    // Never waits for another program's lock: the counter only saves work
    // later, and the append itself waits as long as the connection allows.
    sqlite3_busy_timeout(handle, 0);
    const auto restoreWait =
        qScopeGuard([&] { sqlite3_busy_timeout(handle, CDatabase::kBusyTimeoutMs); });
    // A read of the schema takes the shared lock, which holds the file still
    // until the end of the transaction.
    if (sqlite3_exec(handle, "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                     nullptr) != SQLITE_OK) {
        if (!sqlite3_get_autocommit(handle))
            sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
        return std::nullopt;
    }
    const std::optional<quint32> counter = ReadInTransaction(handle);
    if (sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (!sqlite3_get_autocommit(handle))
            sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
        return std::nullopt;
    }
    return counter;
}

QByteArray FileKey(sqlite3* handle)
{
    const char* name = handle ? sqlite3_db_filename(handle, "main") : nullptr;
    return name ? QByteArray(name) : QByteArray();
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
        NoteOwnAppend(FileKey(SqliteHandle(db.Handle())), *before);
    return stored;
}

} // namespace commitcounter
