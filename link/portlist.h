#pragma once

#include <QStringList>

// The serial ports of this machine as the platform lists them ("ttyS0",
// "ttyUSB0", "COM3"), in natural order (ttyS2 before ttyS10).
QStringList AvailablePortNames();
