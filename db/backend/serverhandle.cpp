#include "db/backend/serverhandle.h"

#include "db/backend/serverdriver.h"

#include <QSqlDatabase>

pg_conn* ServerHandle(const QSqlDatabase& db)
{
    const auto* driver = qobject_cast<const ServerDriver*>(db.driver());
    return driver && db.isOpen() ? driver->Connection() : nullptr;
}
