#include "cli/newcommand.h"

#include "cli/consolemessages.h"
#include "cli/exitcodes.h"
#include "db/location/location.h"
#include "db/zq6doc.h"

NewCommand::NewCommand() : Command("new", {}, {{"new", QT_TRANSLATE_NOOP("CommandLine", "DB")}}) {}

int NewCommand::Run(const CommandLine& line) const
{
    const QStringList args = line.Arguments();
    if (args.size() != 1)
        return line.UsageError(CommandLine::tr("%1 takes one database file").arg(Name()));
    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    return doc.OnSaveDocument(Location::Parse(args.first())) ? exitcode::kDone : exitcode::kFailed;
}
