#pragma once

#include "download/outcome.h"

#include <QString>

// The exit status of a read that ended in outcome (cli/exitcodes.h);
// nothingNewHasItsOwnCode: --exit-nothing-new.
int ExitStatus(const download::Outcome& outcome, bool nothingNewHasItsOwnCode);

// "zqreader-cli read: DB from PORT: OUTCOME", the one line a log gets per
// read: the count or "nothing new", or the failure as told, then any warning.
QString LogLine(const QString& db, const QString& port, const download::Outcome& outcome);
