#pragma once

#include "db/location/location.h"

#include <QString>

// zqreader-cli import: copies the users and events of an Access database into
// a new ZQreader database. Returns the exit status.
int RunImportCommand(const QString& accessPath, const Location& target);
