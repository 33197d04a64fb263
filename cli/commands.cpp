#include "cli/commands.h"

#include "app/portsetting.h"
#include "cli/consolemessages.h"
#include "db/dbexception.h"
#include "db/dbstate.h"
#include "db/nativename.h"
#include "db/rowtext.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "link/download.h"
#include "link/portlist.h"
#include "link/qtseriallink.h"

#include <cstdio>

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
    try {
        const qint64 rows = g_pSet->CountRows();
        constexpr int kChunk = 1000;
        for (qint64 first = 0; first < rows; first += kChunk) {
            for (const JoinedRow& row : g_pSet->FetchRows(first, kChunk)) {
                const RowTexts t = FormatRow(row.date, row.userNo, row.name, row.timer);
                std::printf("%s\t%s\t%s\t%s\t%s\n", qUtf8Printable(t.date), qUtf8Printable(t.time),
                            qUtf8Printable(t.userNo), qUtf8Printable(t.name),
                            qUtf8Printable(t.timer));
            }
        }
    } catch (const CDBException& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", qUtf8Printable(e.m_strError));
        return 1;
    }
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
