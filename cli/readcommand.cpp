#include "cli/readcommand.h"

#include "cli/commandoutput.h"
#include "cli/consolemessages.h"
#include "cli/readoutcome.h"
#include "db/zq6doc.h"
#include "download/readevents.h"
#include "download/services.h"
#include "link/portlink.h"
#include "link/portsetting.h"
#include "platform/process.h"

#include <cstdio>

namespace {

bool stderrIsTerminal()
{
    return platform::IsTerminal(platform::StandardStream::Error);
}

// A running count of the events taken, on one line of the terminal.
class TerminalProgress : public DownloadProgress
{
public:
    void Start() override
    {
        m_count = 0;
        Show();
    }
    void Advance() override
    {
        ++m_count;
        Show();
    }
    void Finish() override
    {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }

private:
    void Show()
    {
        std::fprintf(stderr, "\r%s %d", m_reading.constData(), m_count);
        std::fflush(stderr);
    }
    const QByteArray m_reading = CommandLine::tr("Reading events from receiver...").toUtf8();
    int m_count = 0;
};

// The download into db from port, its messages told through messages.
download::Outcome readInto(const Location& db, const PortName& port, bool showProgress,
                           ConsoleMessages& messages)
{
    // The download takes the lock that keeps a second read out of the
    // database, the desktop's as well (see FileReadLock).
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(db))
        return download::Outcome::DatabaseNotOpened(doc.OpenFailure(), messages.Errors());
    const std::unique_ptr<SerialLink> link = MakePortLink(port);
    SystemClock clock;
    TerminalProgress progress;
    DownloadServices services(*link, clock, showProgress ? &progress : nullptr, port);
    return ReadEvents(doc, services);
}

} // namespace

ReadCommand::ReadCommand()
    : Command("read", {Option::Port, Option::LogLine, Option::ExitNothingNew},
              {{"read", QT_TRANSLATE_NOOP("CommandLine",
                                          "DB [--port NAME] [--log-line] [--exit-nothing-new]")}})
{
}

int ReadCommand::Run(const CommandLine& line) const
{
    const QStringList args = line.Arguments();
    if (args.size() != 1)
        return line.UsageError(CommandLine::tr("%1 takes one database file").arg(Name()));
    ReadRequest request{Location::Parse(args.first()), std::nullopt, line.IsSet(Option::LogLine),
                        line.IsSet(Option::ExitNothingNew)};
    if (line.IsSet(Option::Port)) {
        const PortName port = PortName::Parse(line.Value(Option::Port));
        if (port.IsNone())
            return line.UsageError(CommandLine::tr("--port needs a port name"));
        if (!port.IsValid())
            return line.UsageError(port.Problem());
        request.port = port;
    }
    return Read(request);
}

int ReadCommand::Read(const ReadRequest& request)
{
    const PortName port = request.port ? *request.port : StoredPort();
    ConsoleMessages messages;
    messages.SetEcho(!request.logLine);
    const download::Outcome outcome =
        readInto(request.db, port, !request.logLine && stderrIsTerminal(), messages);
    if (request.logLine) {
        const QString line = LogLine(request.db.Shown(), port.Shown(), outcome);
        if (outcome.IsSuccess()) {
            PrintLine(line);
            FlushStandardOutput();
        } else {
            std::fprintf(stderr, "%s\n", qUtf8Printable(line));
            std::fflush(stderr);
        }
    }
    return ExitStatus(outcome, request.exitNothingNew);
}
