#pragma once

#include <QString>

class CDatabase;
class CZq6Set;

// The open database, shared by the document, the list and the download.
// Changed only by the document's open operation.
extern QString g_strDbPath;
extern CDatabase g_db;
extern CZq6Set* g_pSet;
