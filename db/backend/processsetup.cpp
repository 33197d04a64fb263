#include "db/backend/processsetup.h"

#include <QtGlobal>
#include <csignal>
#include <sqlite3.h>

void SetUpProcess()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    if (sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) != SQLITE_OK)
        qFatal("SQLite was used before the process was set up.");
}
