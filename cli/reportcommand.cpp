#include "cli/reportcommand.h"

#include "cli/commandoutput.h"
#include "cli/consolemessages.h"
#include "cli/exitcodes.h"
#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "formats/reportcsv.h"
#include "formats/reportpdf.h"
#include "platform/process.h"

#include <cstdio>
#include <optional>

namespace {

// The options as a report asks for them, or the message of the first wrong one.
std::optional<QString> parse(const ReportRequest& request, ReportOptions* options)
{
    if (const QString wrong = ParseFilterOptions(request.filter, &options->filter);
        !wrong.isEmpty())
        return wrong;
    if (!request.by.isNull() && !ParseReportPeriod(request.by, &options->by))
        return CommandLine::tr("--by \"%1\" is not day, week or month").arg(request.by);
    if (!request.format.isNull() && request.format != QLatin1String("csv") &&
        request.format != QLatin1String("pdf"))
        return CommandLine::tr("--format \"%1\" is not csv or pdf").arg(request.format);
    return std::nullopt;
}

int writeReport(const ReportRequest& request, const ReportOptions& options)
{
    const bool pdf = request.format == QLatin1String("pdf");

    CommandOutput out(request.output);
    if (!out.SpareInput(request.db))
        return exitcode::kFailed;

    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(request.db))
        return exitcode::kFailed;
    QByteArray bytes;
    try {
        const Report report = BuildReport(g_db, options);
        if (pdf) {
            bytes = ReportPdf(report, ReportTitleFor(g_db.GetLocation(), options));
        } else {
            const std::string csv = ReportCsv(report, CsvText::Guarded);
            bytes = QByteArray(csv.data(), qsizetype(csv.size()));
        }
    } catch (const CDBException& e) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(g_db.ReadFailedMessage(e)));
        return exitcode::kFailed;
    }
    return out.Write(bytes) ? exitcode::kDone : exitcode::kFailed;
}

} // namespace

ReportCommand::ReportCommand()
    : Command("report",
              {Option::From, Option::To, Option::User, Option::Button, Option::Name, Option::Output,
               Option::By, Option::Format},
              {{"report", QT_TRANSLATE_NOOP("CommandLine",
                                            "DB [--from DATE] [--to DATE] [--user USER_NO]... "
                                            "[--button 0|1] [--name TEXT] [--by day|week|month] "
                                            "[--format csv|pdf] [--output FILE]")}})
{
}

int ReportCommand::Run(const CommandLine& line) const
{
    const QStringList args = line.Arguments();
    if (args.size() != 1)
        return line.UsageError(CommandLine::tr("%1 takes one database file").arg(Name()));
    const ReportRequest request{Location::Parse(args.first()), line.Filter(),
                                line.Value(Option::By), line.Value(Option::Format),
                                line.Value(Option::Output)};
    ReportOptions options;
    if (const std::optional<QString> wrong = parse(request, &options))
        return line.UsageError(*wrong);
    const bool pdf = request.format == QLatin1String("pdf");
    options.byHour = pdf; // for its chart
    if (pdf && request.output.isEmpty() && platform::IsTerminal(platform::StandardStream::Output))
        return line.UsageError(
            CommandLine::tr("--format pdf needs --output FILE or an output that is no terminal"));
    return writeReport(request, options);
}
