#include "cli/exportcommand.h"

#include "cli/commandoutput.h"
#include "cli/consolemessages.h"
#include "cli/exitcodes.h"
#include "db/backend/dbexception.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "formats/eventexport.h"

#include <cstdio>

namespace {

int exportCsv(const ExportRequest& request, const JoinFilter& filter)
{
    CommandOutput out(request.output);
    if (!out.SpareInput(request.db))
        return exitcode::kFailed;

    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(request.db) || !out.Open())
        return exitcode::kFailed;
    ExportOutcome outcome;
    try {
        outcome = ExportEventsCsv(g_db, filter, request.raw ? CsvText::Raw : CsvText::Guarded,
                                  [&](QByteArrayView piece) { out.Append(piece); });
    } catch (const CDBException& e) {
        FlushStandardOutput();
        std::fprintf(stderr, "%s\n", qUtf8Printable(e.m_strError));
        return exitcode::kFailed;
    }
    if (!out.Finish())
        return exitcode::kFailed;
    if (out.ToFile())
        PrintLine(CommandLine::tr("Number of exported rows:  %1").arg(outcome.rows));
    return FlushStandardOutput() ? exitcode::kDone : exitcode::kFailed;
}

} // namespace

ExportCommand::ExportCommand()
    : Command("export",
              {Option::From, Option::To, Option::User, Option::Button, Option::Name, Option::Output,
               Option::Raw},
              {{"export",
                QT_TRANSLATE_NOOP("CommandLine", "DB [--from DATE] [--to DATE] [--user USER_NO]... "
                                                 "[--button 0|1] [--name TEXT] [--output FILE] "
                                                 "[--raw]")}})
{
}

int ExportCommand::Run(const CommandLine& line) const
{
    const QStringList args = line.Arguments();
    if (args.size() != 1)
        return line.UsageError(CommandLine::tr("%1 takes one database file").arg(Name()));
    const ExportRequest request{Location::Parse(args.first()), line.Filter(),
                                line.Value(Option::Output), line.IsSet(Option::Raw)};
    JoinFilter filter;
    if (const QString wrong = ParseFilterOptions(request.filter, &filter); !wrong.isEmpty())
        return line.UsageError(wrong);
    return exportCsv(request, filter);
}
