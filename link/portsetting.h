#pragma once

#include "link/portname.h"

#include <QString>

// The name of the serial port the receiver hangs on, as the port list shows
// it ("COM1", "ttyS0") or a full device path. Empty until LoadPortName().
extern QString g_strPortName;

// The port g_strPortName names, taken apart for the link and the download.
PortName CurrentPort();

// The name stored in the user's settings (Korvo/Zq6, section "Settings",
// entry "COM"); the platform's first serial port when there is no entry. An
// entry that exists but is empty gives an empty name.
QString StoredPortName();

// Sets g_strPortName to StoredPortName().
void LoadPortName();

// Writes the name to the user's settings; a failed write is not reported.
void StorePortName();
