#pragma once

#include "cli/command.h"
#include "db/location/location.h"
#include "link/portname.h"

#include <optional>

struct ReadRequest
{
    Location db;
    std::optional<PortName> port; // none: the stored port setting
    bool logLine = false;         // one summary line instead of the messages
    bool exitNothingNew = false;  // "nothing new" exits with its own status
};

// zqreader-cli read DB: downloads the receiver's new events into the
// database.
class ReadCommand : public Command
{
public:
    ReadCommand();
    int Run(const CommandLine& line) const override;

    // Returns an exit status of cli/exitcodes.h.
    static int Read(const ReadRequest& request);
};
