// The download fed with whatever the line might carry: the input decides the
// newest event already stored, the host clock, and every frame with its
// length, the moment it completes and how far the clock moves before it. A
// download stores exactly the events it reports, or nothing, never more than
// the receiver can send in one download, and dates none of them later than
// any time the clock showed.

#include "db/messages.h"
#include "db/record/ctime.h"
#include "db/zq6doc.h"
#include "download/readevents.h"
#include "download/services.h"
#include "tests/fuzz/fuzzinput.h"
#include "tests/fuzz/fuzzsetup.h"
#include "tests/support/scriptedlink.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// 6144 events are asked for; the frame that reaches them can bring 15 more.
constexpr int kMostEvents = 6144 + 15;

class Messages : public MessageSink
{
public:
    void ShowMessage(const UserMessage& message) override { shown.append(message); }
    QVector<UserMessage> shown;
};

// A hand-turned clock that remembers the latest time it showed.
class WatchedClock : public scripted::ManualClock
{
public:
    WatchedClock() : ManualClock(0) {}
    qint64 Now() override
    {
        latest = std::max(latest, now);
        return now;
    }
    qint64 latest = 0;
};

struct Rig
{
    QString db;
    Messages messages;
    CZq6Doc doc{&messages};
    QSqlDatabase side; // the test's own connection: resets and checks

    Rig()
    {
        db = fuzzsetup::scratch().filePath(QStringLiteral("download.db"));
        QFile::remove(db);
        if (!QFile::copy(QStringLiteral(ZQ_BIN_DIR "/template.db"), db) ||
            !QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner))
            fuzzsetup::fail("cannot copy the template");
        if (!doc.OnOpenDocument(db))
            fuzzsetup::fail("cannot open the template copy");
        side = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fuzz-side"));
        side.setDatabaseName(db);
        if (!side.open())
            fuzzsetup::fail("cannot open a side connection");
    }

    void exec(const QString& sql)
    {
        QSqlQuery q(side);
        if (!q.exec(sql))
            fuzzsetup::fail("side statement failed", q.lastError().text() + QLatin1Char(' ') + sql);
    }

    qint64 count()
    {
        QSqlQuery q(side);
        if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM EVENTS")) || !q.next())
            fuzzsetup::fail("cannot count", q.lastError().text());
        return q.value(0).toLongLong();
    }
};

Rig& rig()
{
    static Rig r;
    return r;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsetup::initialize(argc, argv);
    rig();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    Rig& r = rig();
    r.messages.shown.clear();

    // The newest event stored before, if any.
    r.exec(QStringLiteral("DELETE FROM EVENTS"));
    const qint64 before = input.flag() ? 1 : 0;
    if (before)
        r.exec(QStringLiteral("INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                              "(%1, '2001-01-01 00:00:00', %2, '%3')")
                   .arg(input.number<int>(0, 0x3FFFFF))
                   .arg(input.number<int>(-1, 510))
                   .arg(input.flag() ? 1 : 0));

    WatchedClock clock;
    clock.now = input.number<qint64>(0, qint64(1) << 34);
    scripted::ScriptedLink link(clock);
    link.writesCompleteAtOnce = input.flag();
    while (input.remaining() > 0) {
        const quint8 control = input.number<quint8>(0, 255);
        scripted::ScriptedLink::Frame frame;
        frame.polls = 1 + (control & 3);
        frame.atOnce = (control & 4) != 0;
        // Mostly a few seconds on; now and then a jump either way.
        frame.secondsBefore =
            (control & 0x80) ? input.number<int>(-100000, 100000) : (control >> 3) & 7;
        const int length = (control & 0x40) ? input.number<int>(0, 68) : 68;
        const std::vector<char> bytes = input.bytes(size_t(length));
        frame.bytes = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
        link.frames.append(frame);
    }

    DownloadServices services(link, clock, nullptr, PortName::Parse(QStringLiteral("ttyF0")));
    ReadEvents(r.doc, services);

    // The outcome, then at most warnings.
    if (r.messages.shown.isEmpty())
        fuzzsetup::fail("expected a message");
    for (qsizetype i = 1; i < r.messages.shown.size(); ++i) {
        if (!r.messages.shown.at(i).IsWarning())
            fuzzsetup::fail("expected one outcome", r.messages.shown.at(i).text);
    }
    const UserMessage message = r.messages.shown.first();
    const QString kRead = QStringLiteral("Number of read events:  ");
    qint64 reported = 0;
    if (message.text.startsWith(kRead)) {
        bool ok = false;
        reported = message.text.mid(kRead.size()).toLongLong(&ok);
        if (!ok || reported <= 0 || reported > kMostEvents)
            fuzzsetup::fail("reported count", message.text);
    }
    const qint64 added = r.count() - before;
    if (added != reported)
        fuzzsetup::fail("stored rows differ from the reported count",
                        QStringLiteral("%1 stored, \"%2\"").arg(added).arg(message.text));
    if (link.portOpen || link.signalsOpen)
        fuzzsetup::fail("port or signals left open");

    QSqlQuery rows(r.side);
    if (!rows.exec(
            QStringLiteral("SELECT DATE, TIMER, USER_NO, BUTTON FROM EVENTS ORDER BY [INDEX]")))
        fuzzsetup::fail("cannot read rows", rows.lastError().text());
    qint64 index = 0;
    while (rows.next()) {
        if (index++ < before)
            continue;
        const CTime date = CTime::FromDbText(rows.value(0).toString());
        if (!date.IsValid() || date.GetTime() > clock.latest)
            fuzzsetup::fail("date later than the download",
                            rows.value(0).toString() + QStringLiteral(" > %1").arg(clock.latest));
        const int timer = rows.value(1).toInt(), userNo = rows.value(2).toInt();
        const QString button = rows.value(3).toString();
        if (timer < 0 || timer > 0x3FFFFF || userNo < -1 || userNo > 510 ||
            (button != QLatin1String("0") && button != QLatin1String("1")))
            fuzzsetup::fail("invalid row");
    }
    return 0;
}
