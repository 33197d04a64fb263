#include "db/record/dbstate.h"

#include "db/record/database.h"

QString g_strDbPath;
Location g_dbLocation;
CDatabase g_db;
CZq6Set* g_pSet = nullptr;

Location OpenDbLocation()
{
    if (g_dbLocation.GetKind() != Location::Kind::None && g_dbLocation.Text() == g_strDbPath)
        return g_dbLocation;
    return Location::Parse(g_strDbPath);
}
