#pragma once

#include "link/portname.h"

// The serial port the receiver hangs on, as kept in the user's settings
// (Korvo/Zq6, section "Settings", entry "COM") by the name given for it
// ("COM1", "ttyS0", a device path or a network port). Without an entry it
// is the platform's first serial port; an entry that exists but is empty
// gives no port.
PortName StoredPort();

// Writes the port's name to the user's settings; a failed write is not
// reported.
void StorePort(const PortName& port);
