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
            std::fprintf(stderr, "\r\033[K%s",
                         qUtf8Printable(
                             m_partOf.arg(m_what, QString::number(done), QString::number(m_rows))));
        else
            std::fprintf(stderr, "\r\033[K%s",
                         qUtf8Printable(m_sofar.arg(m_what, QString::number(done))));
        std::fflush(stderr);
        return true;
    }
    void Clear()
    {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }

private:
    const QString m_partOf = CommandLine::tr("%1... %2 of %3");
    const QString m_sofar = CommandLine::tr("%1... %2");
    QString m_what;
    qint64 m_rows = -1;
};

} // namespace

ImportCommand::ImportCommand()
    : Command("import", {}, {{"import", QT_TRANSLATE_NOOP("CommandLine", "MDB DB")}})
{
}

int ImportCommand::Run(const CommandLine& line) const
{
    const QStringList args = line.Arguments();
    if (args.size() != 2)
        return line.UsageError(
            CommandLine::tr("import takes an Access database and a new database"));
    const QString& accessPath = args.at(0);
    const Location target = Location::Parse(args.at(1));
    TerminalImportProgress terminal;
    const bool showProgress = platform::IsTerminal(platform::StandardStream::Error);
    try {
        const ImportCounts counts = ImportAccessFile(AbsoluteFileName(accessPath), target,
                                                     showProgress ? &terminal : nullptr);
        if (showProgress)
            terminal.Clear();
        PrintLine(CommandLine::tr("A new database has been created:  %1").arg(target.Shown()));
        PrintLine(CommandLine::tr("Users copied:  %1\nEvents copied:  %2")
                      .arg(counts.users)
                      .arg(counts.events));
        return FlushStandardOutput() ? exitcode::kDone : exitcode::kFailed;
    } catch (const CDBException& e) {
        if (showProgress)
            terminal.Clear();
        std::fprintf(stderr, "%s\n%s\n",
                     qUtf8Printable(CommandLine::tr("Error while converting the Access database")),
                     qUtf8Printable(e.m_strError));
        return exitcode::kFailed;
    }
}
