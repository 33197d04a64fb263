#include "cli/commands.h"

#include "app/portsetting.h"
#include "cli/consolemessages.h"
#include "db/database.h"
#include "db/dbexception.h"
#include "db/dbstate.h"
#include "db/joinstream.h"
#include "db/nativename.h"
#include "db/rowtext.h"
#include "db/zq6doc.h"
#include "link/download.h"
#include "link/portlist.h"
#include "link/qtseriallink.h"

#include <cstdio>
#include <string>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

bool stderrIsTerminal()
{
#ifdef Q_OS_UNIX
    return ::isatty(STDERR_FILENO) == 1;
#else
    return false;
#endif
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

int RunNew(const QString& dbPath)
{
    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    return doc.OnSaveDocument(AbsoluteFileName(dbPath)) ? 0 : 1;
}

int RunList(const QString& dbPath)
{
    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(AbsoluteFileName(dbPath)))
        return 1;
    constexpr size_t kFlushAt = 64 * 1024;
    std::string out;
    out.reserve(kFlushAt + 1024);
    auto flush = [&out] {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
    };
    try {
        ListLineWriter lines;
        StreamJoinedRows(g_db, [&](const JoinedRowValues& row) {
            lines.Append(out, row);
            if (out.size() >= kFlushAt)
                flush();
            return true;
        });
    } catch (const CDBException& e) {
        flush();
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", qUtf8Printable(e.m_strError));
        return 1;
    }
    flush();
    std::fflush(stdout);
    return 0;
}

int RunRead(const QString& dbPath, const QString& portName)
{
    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(AbsoluteFileName(dbPath)))
        return 1;
    if (portName.isEmpty())
        LoadPortName();
    else
        g_strPortName = portName;

    QtSerialLink link;
    SystemClock clock;
    TerminalProgress progress;
    DownloadServices services(link, clock, stderrIsTerminal() ? &progress : nullptr, g_strPortName);
    doc.OnReadEvents(services);
    return messages.SawError() ? 1 : 0;
}

int RunPorts()
{
    for (const QString& name : AvailablePortNames())
        std::printf("%s\n", qUtf8Printable(name));
    std::fflush(stdout);
    return 0;
}
