#include "cli/readcommand.h"

#include "cli/commandoutput.h"
#include "cli/consolemessages.h"
#include "cli/readoutcome.h"
#include "db/zq6doc.h"
#include "link/download.h"
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
        std::fprintf(stderr, "\rReading events from receiver... %d", m_count);
        std::fflush(stderr);
    }
    int m_count = 0;
};

} // namespace

int RunReadCommand(const ReadRequest& request)
{
    const Location& db = request.db;
    if (request.portName.isEmpty())
        LoadPortName();
    else
        g_strPortName = request.portName;
    const PortName port = CurrentPort();

    ConsoleMessages messages;
    messages.SetEcho(!request.logLine);
    {
        // The download takes the lock that keeps a second read out of the
        // database, the desktop's as well (see FileReadLock).
        CZq6Doc doc(&messages);
        if (doc.OnOpenDocument(db)) {
            const std::unique_ptr<SerialLink> link = MakePortLink(port);
            SystemClock clock;
            TerminalProgress progress;
            const bool showProgress = !request.logLine && stderrIsTerminal();
            DownloadServices services(*link, clock, showProgress ? &progress : nullptr, port);
            doc.OnReadEvents(services);
        }
    }

    const ReadOutcome outcome = ClassifyRead(messages.Messages());
    if (request.logLine) {
        const bool failed =
            outcome.kind != ReadOutcome::Downloaded && outcome.kind != ReadOutcome::NothingNew;
        const QString line = LogLine(db.Shown(), port.Shown(), outcome);
        if (failed) {
            std::fprintf(stderr, "%s\n", qUtf8Printable(line));
            std::fflush(stderr);
        } else {
            PrintLine(line);
            FlushStandardOutput();
        }
    }
    return outcome.ExitCode(request.exitNothingNew);
}
