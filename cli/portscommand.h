#pragma once

// Prints this machine's serial ports, one a line; verbose adds what the
// system knows of each (tab-separated: name, description, manufacturer,
// serial number, stable path under /dev/serial/by-id; "-" where unknown).
int RunPortsCommand(bool verbose);
