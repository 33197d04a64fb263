#include "cli/commands.h"

#include "cli/consolemessages.h"
#include "db/dbexception.h"
#include "db/dbstate.h"
#include "db/rowtext.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"

#include <QFileInfo>

#include <cstdio>

int RunNew(const QString& dbPath)
{
    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    return doc.OnSaveDocument(QFileInfo(dbPath).absoluteFilePath()) ? 0 : 1;
}

int RunList(const QString& dbPath)
{
    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(QFileInfo(dbPath).absoluteFilePath()))
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
