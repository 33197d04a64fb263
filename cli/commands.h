#pragma once

#include <QStringList>

// Each command returns the process exit status: 0 done, 1 failed.
int RunNew(const QString& dbPath);
int RunList(const QString& dbPath);
// Downloads the receiver's new events into the database. An empty port name
// means the stored port setting.
int RunRead(const QString& dbPath, const QString& portName);
int RunPorts();
