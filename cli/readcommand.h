#pragma once

#include "db/location/location.h"

#include <QString>

struct ReadRequest
{
    Location db;
    QString portName;            // empty: the stored port setting
    bool logLine = false;        // one summary line instead of the messages
    bool exitNothingNew = false; // "nothing new" exits with its own status
};

// Downloads the receiver's new events into the database; returns an exit
// status of cli/exitcodes.h.
int RunReadCommand(const ReadRequest& request);
