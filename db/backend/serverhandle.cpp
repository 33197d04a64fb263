#include "db/backend/serverhandle.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

pg_conn* ServerHandle(const QSqlDatabase& db)
{
    if (!db.isOpen() || !db.driver() || db.driverName() != QLatin1String("QPSQL"))
        return nullptr;
    const QVariant v = db.driver()->handle();
    // Qt names the type as the client library declares it (struct pg_conn).
    if (!v.isValid() ||
        (qstrcmp(v.typeName(), "PGconn*") != 0 && qstrcmp(v.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<pg_conn* const*>(v.constData());
}
