#pragma once

#include "cli/command.h"

// zqreader-cli ports: this machine's serial ports, one a line; --verbose adds
// what the system knows of each (tab-separated: name, description,
// manufacturer, serial number, stable path under /dev/serial/by-id; "-"
// where unknown).
class PortsCommand : public Command
{
public:
    PortsCommand();
    int Run(const CommandLine& line) const override;
};
