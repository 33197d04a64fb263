#include "cli/commands.h"

#include "cli/consolemessages.h"
#include "db/backend/dbexception.h"
#include "db/joinstream.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "formats/rowtext.h"

#include <cstdio>
#include <string>

int RunNew(const Location& db)
{
    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    return doc.OnSaveDocument(db) ? 0 : 1;
}

int RunList(const Location& db, const EventFilter& filter)
{
    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(db))
        return 1;
    constexpr size_t kFlushAt = size_t{64} * 1024;
    // The first screenful goes out at once, whoever reads along waits for
    // no more; the rest in large pieces.
    constexpr size_t kFirstFlushAt = size_t{4} * 1024;
    size_t flushAt = kFirstFlushAt;
    std::string out;
    out.reserve(kFlushAt + 1024);
    auto flush = [&out, &flushAt] {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
        if (flushAt == kFirstFlushAt) {
            std::fflush(stdout);
            flushAt = kFlushAt;
        }
    };
    try {
        ListLineWriter lines;
        StreamJoinedRows(
            g_db,
            [&](const JoinedRowValues& row) {
                lines.Append(out, row);
                if (out.size() >= flushAt)
                    flush();
                return true;
            },
            filter);
    } catch (const CDBException& e) {
        flush();
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", qUtf8Printable(g_db.ReadFailedMessage(e.m_strError)));
        return 1;
    }
    flush();
    std::fflush(stdout);
    return 0;
}
