#include "cli/exportcommand.h"

#include "cli/commandoutput.h"
#include "cli/consolemessages.h"
#include "cli/exitcodes.h"
#include "db/backend/dbexception.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "formats/eventexport.h"

#include <cstdio>

int RunExportCommand(const ExportRequest& request, const std::function<int(const QString&)>& usage)
{
    JoinFilter filter;
    if (const QString wrong = ParseFilterOptions(request.filter, &filter); !wrong.isEmpty())
        return usage(wrong);

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
        PrintLine(QStringLiteral("Number of exported rows:  %1").arg(outcome.rows));
    return FlushStandardOutput() ? exitcode::kDone : exitcode::kFailed;
}
