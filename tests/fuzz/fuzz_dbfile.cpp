// Any bytes as a database file: opened, counted and listed, then a download's
// first steps (the newest event, then one event stored). Either a clear error
// or a consistent result; a file that fails to open keeps every byte.

#include "db/backend/dbexception.h"
#include "db/messages.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "download/readevents.h"
#include "download/services.h"
#include "tests/fuzz/fuzzsetup.h"
#include "tests/support/scriptedlink.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

class Messages : public MessageSink
{
public:
    void ShowMessage(const UserMessage& message) override { shown.append(message); }
    QVector<UserMessage> shown;
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

bool intact(const QString& path)
{
    bool ok = false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fuzz-check"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next() &&
                 q.value(0).toString() == QLatin1String("ok");
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fuzz-check"));
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsetup::initialize(argc, argv);
    fuzzsetup::scratch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzzsetup::scratch().filePath(QStringLiteral("input.db"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            fuzzsetup::fail("cannot write the input file");
    }

    Messages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(path)) {
        if (messages.shown.size() != 1 || messages.shown.first().text.isEmpty())
            fuzzsetup::fail("a failed open says one thing");
        if (readAll(path) != bytes)
            fuzzsetup::fail("a file that failed to open was changed");
        if (doc.m_bDbOpen || g_pSet)
            fuzzsetup::fail("a failed open left a database open");
        return 0;
    }
    if (!messages.shown.isEmpty())
        fuzzsetup::fail("an open that worked reported something", messages.shown.first().text);

    // The list: the count, and every row read in screenfuls.
    try {
        const qint64 counted = g_pSet->CountRows();
        if (counted < 0)
            fuzzsetup::fail("negative count");
        qint64 read = 0;
        for (qint64 first = 0; first < counted + 1; first += 60) {
            const QVector<JoinedRow> rows = g_pSet->FetchRows(first, 60);
            read += rows.size();
            if (rows.size() < 60)
                break;
        }
        // SQLite does not notice every damage; on a file it finds damaged,
        // the count and the rows may disagree without an error.
        if (read != g_pSet->GetRowCount() && intact(path))
            fuzzsetup::fail("fetched rows differ from the count",
                            QStringLiteral("%1 of %2").arg(read).arg(g_pSet->GetRowCount()));
    } catch (const CDBException& e) {
        if (e.m_strError.isEmpty())
            fuzzsetup::fail("a failure without a reason");
    }

    // A download that brings one event, or ends at the newest stored one.
    scripted::ManualClock clock(1700000000);
    scripted::ScriptedLink link(clock);
    link.frames = {{scripted::frame(0, 1000, {scripted::word(990, 3, false)})}};
    DownloadServices services(link, clock, nullptr, PortName::Parse(QStringLiteral("ttyF0")));
    messages.shown.clear();
    ReadEvents(doc, services);
    if (messages.shown.isEmpty() || messages.shown.first().text.isEmpty())
        fuzzsetup::fail("a download without an outcome");
    if (link.portOpen || link.signalsOpen)
        fuzzsetup::fail("port or signals left open");
    return 0;
}
