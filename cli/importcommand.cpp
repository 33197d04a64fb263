#include "cli/importcommand.h"

#include "cli/commandoutput.h"
#include "cli/exitcodes.h"
#include "db/backend/dbexception.h"
#include "db/location/nativename.h"
#include "formats/accessimport.h"
#include "platform/process.h"

#include <cstdio>

namespace {

// The rows copied so far, on one line of the terminal.
class TerminalImportProgress : public ImportProgress
{
public:
    void Step(const QString& what, qint64 rows) override
    {
        m_what = what;
        m_rows = rows;
        Advance(0);
    }
    bool Advance(qint64 done) override
    {
        if (m_rows > 0)
            std::fprintf(stderr, "\r\033[K%s... %lld of %lld", qUtf8Printable(m_what),
                         static_cast<long long>(done), static_cast<long long>(m_rows));
        else
            std::fprintf(stderr, "\r\033[K%s... %lld", qUtf8Printable(m_what),
                         static_cast<long long>(done));
        std::fflush(stderr);
        return true;
    }
    void Clear()
    {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }

private:
    QString m_what;
    qint64 m_rows = -1;
};

} // namespace

int RunImportCommand(const QString& accessPath, const Location& target)
{
    TerminalImportProgress terminal;
    const bool showProgress = platform::IsTerminal(platform::StandardStream::Error);
    try {
        const ImportCounts counts = ImportAccessFile(AbsoluteFileName(accessPath), target,
                                                     showProgress ? &terminal : nullptr);
        if (showProgress)
            terminal.Clear();
        PrintLine(QStringLiteral("A new database has been created:  ") + target.Shown());
        PrintLine(QStringLiteral("Users copied:  %1\nEvents copied:  %2")
                      .arg(counts.users)
                      .arg(counts.events));
        return FlushStandardOutput() ? exitcode::kDone : exitcode::kFailed;
    } catch (const CDBException& e) {
        if (showProgress)
            terminal.Clear();
        std::fprintf(stderr, "Error while converting the Access database\n%s\n",
                     qUtf8Printable(e.m_strError));
        return exitcode::kFailed;
    }
}
