#pragma once

#include <QStringList>

// Each command returns the process exit status: 0 done, 1 failed.
int RunNew(const QString& dbPath);
int RunList(const QString& dbPath);
