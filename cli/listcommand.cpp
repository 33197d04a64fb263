#include "cli/listcommand.h"

#include "cli/commandoutput.h"
#include "cli/consolemessages.h"
#include "cli/exitcodes.h"
#include "db/backend/dbexception.h"
#include "db/eventfilter.h"
#include "db/joinstream.h"
#include "db/location/location.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "formats/rowtext.h"

#include <cstdio>
#include <string>

namespace {

int list(const Location& db, const EventFilter& filter)
{
    if (!CommandOutput({}).SpareInput(db))
        return exitcode::kFailed;
    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(db))
        return exitcode::kFailed;
    constexpr size_t kFlushAt = size_t{64} * 1024;
    // The first screenful goes out at once, whoever reads along waits for
    // no more; the rest in large pieces.
    constexpr size_t kFirstFlushAt = size_t{4} * 1024;
    size_t flushAt = kFirstFlushAt;
    std::string out;
    out.reserve(kFlushAt + 1024);
    // False once standard output has failed: the rest would be lost too.
    auto flush = [&out, &flushAt] {
        bool written = WriteStandardOutput(QByteArrayView(out.data(), qsizetype(out.size())));
        out.clear();
        if (flushAt == kFirstFlushAt) {
            written = FlushStandardOutput() && written;
            flushAt = kFlushAt;
        }
        return written;
    };
    try {
        ListLineWriter lines;
        StreamJoinedRows(
            g_db,
            [&](const JoinedRowValues& row) {
                lines.Append(out, row);
                return out.size() < flushAt || flush();
            },
            filter);
    } catch (const CDBException& e) {
        flush();
        FlushStandardOutput();
        std::fprintf(stderr, "%s\n", qUtf8Printable(g_db.ReadFailedMessage(e)));
        return exitcode::kFailed;
    }
    flush();
    return FlushStandardOutput() ? exitcode::kDone : exitcode::kFailed;
}

} // namespace

ListCommand::ListCommand()
    : Command("list", {Option::From, Option::To, Option::User, Option::Button, Option::Name},
              {{"list",
                QT_TRANSLATE_NOOP("CommandLine", "DB [--from DATE] [--to DATE] [--user USER_NO]... "
                                                 "[--button 0|1] [--name TEXT]")}})
{
}

int ListCommand::Run(const CommandLine& line) const
{
    const QStringList args = line.Arguments();
    if (args.size() != 1)
        return line.UsageError(CommandLine::tr("%1 takes one database file").arg(Name()));
    EventFilter filter;
    if (const QString wrong = ParseFilterOptions(line.Filter(), &filter); !wrong.isEmpty())
        return line.UsageError(wrong);
    return list(Location::Parse(args.first()), filter);
}
