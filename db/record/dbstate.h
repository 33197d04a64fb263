#pragma once

#include "db/location/location.h"

#include <QString>

class CDatabase;
class CZq6Set;

// The open database, shared by the document, the list and the download.
// Changed only by the document's open operation, which sets the location and
// its text together.
extern QString g_strDbPath;   // the location as text (Location::Text())
extern Location g_dbLocation; // the same location as parsed when it was opened
extern CDatabase g_db;
extern CZq6Set* g_pSet;

// Where further connections to the open database go: g_dbLocation, or
// g_strDbPath parsed where only that was set.
Location OpenDbLocation();
