#include "cli/exportcommand.h"

#include "cli/consolemessages.h"
#include "cli/exitcodes.h"
#include "db/backend/dbexception.h"
#include "db/location/nativename.h"
#include "db/location/outputcheck.h"
#include "db/location/stagedfile.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "formats/eventexport.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

int RunExportCommand(const ExportRequest& request, const std::function<int(const QString&)>& usage)
{
    JoinFilter filter;
    if (const QString wrong = ParseFilterOptions(request.filter, &filter); !wrong.isEmpty())
        return usage(wrong);

    const QString over =
        request.output.isEmpty()
            ? StreamOverInputMessage(STDOUT_FILENO, QStringLiteral("Standard output"), request.db)
            : OutputOverInputMessage(request.output, request.db);
    if (!over.isEmpty()) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(over));
        return exitcode::kFailed;
    }

    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(request.db))
        return exitcode::kFailed;

    // A file appears only when complete; a failure leaves what was there.
    const QString shown = ShownFileName(request.output);
    StagedFile file(AbsoluteFileName(request.output));
    if (!request.output.isEmpty() && !file.Open()) {
        std::fprintf(stderr, "Cannot write \"%s\": %s\n", qUtf8Printable(shown),
                     qUtf8Printable(file.ErrorString()));
        return exitcode::kFailed;
    }
    auto write = [&](QByteArrayView piece) {
        if (!request.output.isEmpty()) {
            if (!file.Append(piece))
                throw CDBException(
                    QStringLiteral("Cannot write \"%1\": %2").arg(shown, file.ErrorString()));
        } else if (std::fwrite(piece.data(), 1, size_t(piece.size()), stdout) !=
                   size_t(piece.size())) {
            throw CDBException(QStringLiteral("Cannot write to standard output: ") +
                               qt_error_string(errno));
        }
    };
    try {
        const ExportOutcome outcome =
            ExportEventsCsv(g_db, filter, request.raw ? CsvText::Raw : CsvText::Guarded, write);
        if (!request.output.isEmpty()) {
            if (!file.Commit())
                throw CDBException(
                    QStringLiteral("Cannot write \"%1\": %2").arg(shown, file.ErrorString()));
            std::printf("Number of exported rows:  %lld\n", static_cast<long long>(outcome.rows));
        }
    } catch (const CDBException& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", qUtf8Printable(e.m_strError));
        return exitcode::kFailed;
    }
    // What is still buffered may fail too, on a full disk.
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "Cannot write to standard output: %s\n",
                     qUtf8Printable(qt_error_string(errno)));
        return exitcode::kFailed;
    }
    return exitcode::kDone;
}
