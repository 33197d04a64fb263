#pragma once

#include "db/location/location.h"

// Each command returns the process exit status: 0 done, 1 failed.
int RunNew(const Location& db);
int RunList(const Location& db);
