#pragma once

#include <QString>

// zqreader-cli import: copies the users and events of an Access database into
// a new ZQreader database. Returns the exit status.
int RunImportCommand(const QString& accessPath, const QString& dbPath);
