#pragma once

#include "db/eventfilter.h"
#include "db/location/location.h"

// Each command returns the process exit status: 0 done, 1 failed.
int RunNew(const Location& db);
// list prints the rows filter lets through.
int RunList(const Location& db, const EventFilter& filter = {});
