#pragma once

#include "link/portname.h"
#include "link/seriallink.h"

#include <memory>

// The link that reaches the named port: the serial device itself, or the
// serial device server behind a socket:// or rfc2217:// name.
std::unique_ptr<SerialLink> MakePortLink(const PortName& port);
