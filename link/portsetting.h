#pragma once

#include <QString>

// The name of the serial port the receiver hangs on, as the port list shows
// it ("COM1", "ttyS0") or a full device path, as kept in the user's settings
// (Korvo/Zq6, section "Settings", entry "COM"). The name read from there is
// the platform's first serial port when there is no entry; an entry that
// exists but is empty gives an empty name.
QString StoredPortName();

// Writes the name to the user's settings; a failed write is not reported.
void StorePortName(const QString& name);
