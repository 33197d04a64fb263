// Database figures on a large log: appending, counting and reading the
// screenfuls the list shows, at any position.
// Usage: bench_db [EVENTS]   (default 1000000)

#include "bench/benchcommon.h"
#include "db/backend/processsetup.h"
#include "db/messages.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/record/events.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

namespace {

class PrintMessages : public MessageSink
{
public:
    void ShowMessage(const UserMessage& m) override
    {
        std::fprintf(stderr, "%s %s\n", qUtf8Printable(m.text), qUtf8Printable(m.detail));
    }
};

QVector<NewEvent> makeEvents(int count, qint64 start, QRandomGenerator& random)
{
    QVector<NewEvent> events;
    events.reserve(count);
    qint64 t = start;
    for (int i = 0; i < count; ++i) {
        t += 1 + random.bounded(120);
        events.append({int(t & 0x3FFFFF), CTime(t), int(random.bounded(200)),
                       random.bounded(2) ? QStringLiteral("1") : QStringLiteral("0")});
    }
    return events;
}

} // namespace

int main(int argc, char** argv)
{
    SetUpProcess();
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.db"));
    if (!QFile::copy(QStringLiteral(ZQ_BIN_DIR "/template.db"), path)) {
        std::fprintf(stderr, "template.db not found in the build's bin folder\n");
        return 1;
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    PrintMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(path))
        return 1;
    {
        g_db.BeginTrans();
        for (int u = 0; u < 200; ++u)
            g_db.Execute(QStringLiteral("INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                        "VALUES ('User %1', %1, '2000-01-01 00:00:00', "
                                        "'2100-01-01 00:00:00')")
                             .arg(u));
        g_db.CommitTrans();
    }

    QRandomGenerator random(42);
    const qint64 start = 1577836800; // 2020-01-01
    const QVector<NewEvent> events = makeEvents(count, start, random);
    std::printf("events: %d, users: 200\n", count);

    QElapsedTimer t;
    t.start();
    if (!doc.AppendEvents(events))
        return 1;
    std::printf("append all in one transaction: %.0f ms (%.1f us/event)\n", bench::Ms(t),
                bench::Ms(t) * 1000 / count);

    CZq6Set& set = *g_pSet;
    set.Close();
    set.m_strSort = QStringLiteral("EVENTS.INDEX");
    t.restart();
    set.Open();
    std::printf("open the joined set: %.1f ms\n", bench::Ms(t));
    t.restart();
    const qint64 rows = set.CountRows();
    std::printf("count rows (full): %lld rows in %.0f ms\n", rows, bench::Ms(t));

    const int screen = 60;
    for (qint64 at : {qint64(0), rows / 2, rows - screen}) {
        t.restart();
        const int got = set.FetchRows(at, screen).size();
        std::printf("screenful of %d rows at row %lld: %.2f ms\n", got, at, bench::Ms(t));
    }
    const int samples = 200;
    t.restart();
    for (int i = 0; i < samples; ++i)
        set.FetchRows(random.bounded(rows), screen);
    std::printf("screenful at random positions: %.2f ms average over %d\n", bench::Ms(t) / samples,
                samples);

    const QVector<NewEvent> more = makeEvents(6144, start + 200000000, random);
    t.restart();
    if (!doc.AppendEvents(more))
        return 1;
    std::printf("append a full download (6144 events): %.0f ms\n", bench::Ms(t));
    t.restart();
    set.Requery();
    const qint64 grown = set.UpdateRowCount();
    std::printf("requery and recount after it: %lld rows in %.1f ms\n", grown, bench::Ms(t));
    t.restart();
    set.Requery();
    set.UpdateRowCount();
    std::printf("requery and recount when nothing changed: %.2f ms\n", bench::Ms(t));
    g_db.Execute(QStringLiteral("INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES "
                                "('Late', 7, '2000-01-01 00:00:00', '2100-01-01 00:00:00')"));
    t.restart();
    set.Requery();
    const qint64 recounted = set.UpdateRowCount();
    std::printf("requery and recount after a user was added: %lld rows in %.0f ms\n", recounted,
                bench::Ms(t));

    CDatabase connection;
    CEVENTS record(&connection);
    t.restart();
    record.Open();
    record.MoveLast();
    std::printf("open the event record and find the newest event: %.2f ms\n", bench::Ms(t));
    return 0;
}
