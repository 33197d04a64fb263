#include "db/record/dbstate.h"

#include "db/record/database.h"

QString g_strDbPath;
CDatabase g_db;
CZq6Set* g_pSet = nullptr;
