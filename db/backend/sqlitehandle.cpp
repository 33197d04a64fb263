#include "db/backend/sqlitehandle.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlResult>
#include <sqlite3.h>

namespace {

template <class Pointer> Pointer handleOf(const QVariant& handle, const char* type)
{
    if (!handle.isValid() || qstrcmp(handle.typeName(), type) != 0)
        return nullptr;
    return *static_cast<const Pointer*>(handle.constData());
}

} // namespace

sqlite3* SqliteHandle(const QSqlDatabase& db)
{
    if (!db.isOpen() || !db.driver())
        return nullptr;
    return handleOf<sqlite3*>(db.driver()->handle(), "sqlite3*");
}

QString SqliteFailure(sqlite3* handle, const QString& said)
{
    const int system = handle ? sqlite3_system_errno(handle) : 0;
    if (system == 0 || !said.contains(QLatin1String("disk I/O error")))
        return said;
    return qt_error_string(system);
}

sqlite3_stmt* SqliteStatement(const QSqlQuery& query)
{
    const QSqlResult* result = query.result();
    return result ? handleOf<sqlite3_stmt*>(result->handle(), "sqlite3_stmt*") : nullptr;
}

QVariant SqliteValue(sqlite3_stmt* statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                          sqlite3_column_bytes(statement, column));
    default:
        return QString(static_cast<const QChar*>(sqlite3_column_text16(statement, column)),
                       sqlite3_column_bytes16(statement, column) / qsizetype(sizeof(QChar)));
    }
}

void StopSqliteMemoryCount()
{
    // Refused (SQLITE_MISUSE) once SQLite is initialised; then nothing changes.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
}

void ClearUpperVectorState()
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool kAvx = __builtin_cpu_supports("avx");
    if (kAvx)
        __asm__ volatile("vzeroupper");
#endif
}
