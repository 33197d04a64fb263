// The "Read events" download driven by a scripted receiver and a hand-turned
// clock, storing into real database files.

#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "download/eventword.h"
#include "download/progressposition.h"
#include "download/readevents.h"
#include "download/services.h"
#include "tests/download/scriptedline.h"
#include "tests/support/scriptedlink.h"
#include "tests/support/testdb.h"

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <thread>

using scripted::frame;
using scripted::LineLink;
using scripted::ManualClock;
using scripted::ScriptedLink;
using scripted::word;
using R = SerialLink::Result;

namespace {

constexpr qint64 kHostTime = 1700000000; // 2023-11-14 22:13:20 UTC

using StoredRow = testdb::StoredEvent;
const auto storedRows = testdb::storedEvents;

int storedCount(const QString& path)
{
    return testdb::scalar(path, QStringLiteral("SELECT COUNT(*) FROM EVENTS")).toInt();
}

// n distinct event words, newest first, counters going back a second each.
QVector<quint32> events(int n, quint32 newestCounter = 100000)
{
    QVector<quint32> words;
    for (int i = 0; i < n; ++i)
        words.append(word(newestCounter - quint32(i), 1 + quint32(i % 500), i % 2));
    return words;
}

class LoggingMessages : public MessageSink
{
public:
    explicit LoggingMessages(QStringList& log) : m_log(log) {}
    void ShowMessage(const UserMessage& message) override
    {
        messages.append(message);
        threads.append(QThread::currentThread());
        m_log.append(QStringLiteral("Message ") + message.text);
    }
    QVector<UserMessage> messages;
    QVector<QThread*> threads;

private:
    QStringList& m_log;
};

class RecordingProgress : public DownloadProgress
{
public:
    explicit RecordingProgress(QStringList& log) : m_log(log) {}
    void Start() override
    {
        ++starts;
        position.Start();
        positions.append(position.Position());
        m_log.append(QStringLiteral("Progress Start"));
    }
    void Advance() override
    {
        ++advances;
        positions.append(position.Advance());
    }
    void Finish() override
    {
        ++finishes;
        m_log.append(QStringLiteral("Progress Finish"));
    }
    int starts = 0, advances = 0, finishes = 0;
    ProgressPosition position;
    QList<int> positions;

private:
    QStringList& m_log;
};

// Counts the set's rows whenever it is told the data changed, as the list does.
class CountingView : public CDocView
{
public:
    void OnUpdate() override
    {
        ++updates;
        rows = g_pSet ? g_pSet->CountRows() : -1;
        firstRowCurrent = g_pSet && !g_pSet->IsBOF();
        thread = QThread::currentThread();
    }
    int updates = 0;
    qint64 rows = -1;
    bool firstRowCurrent = false;
    QThread* thread = nullptr;
};

// One database, one document and the scripted receiver behind it.
template <typename Link> struct RigOn
{
    QTemporaryDir dir;
    QString db = dir.filePath(QStringLiteral("events.db"));
    ManualClock clock{kHostTime};
    Link link{clock};
    LoggingMessages messages{link.log};
    RecordingProgress progress{link.log};
    CountingView view;
    CZq6Doc doc{&messages};

    bool open(const QStringList& statements = {})
    {
        clock.log = &link.log;
        if (!dir.isValid() || !testdb::copyTemplate(db))
            return false;
        if (!statements.isEmpty() && !testdb::exec(db, statements).isEmpty())
            return false;
        if (!doc.OnOpenDocument(db))
            return false;
        doc.AddView(&view);
        return true;
    }

    void run(const QString& port = QStringLiteral("ttyQ0"))
    {
        DownloadServices services(link, clock, &progress, PortName::Parse(port));
        ReadEvents(doc, services);
    }

    UserMessage only() const
    {
        return messages.messages.size() == 1 ? messages.messages.first() : UserMessage{};
    }
};

QString insertRow(int timer, int userNo, const char* button,
                  const char* date = "2023-01-01 10:00:00")
{
    return QStringLiteral("INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES (%1, '%2', %3, "
                          "'%4')")
        .arg(timer)
        .arg(QLatin1String(date))
        .arg(userNo)
        .arg(QLatin1String(button));
}

using Rig = RigOn<ScriptedLink>;

} // namespace

Q_DECLARE_METATYPE(QVector<quint32>)

class TestDownload : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eventWordsAreDecodedIntoRows()
    {
        Rig rig;
        QVERIFY(rig.open());
        // Newest first: user field 1, no button, counter 0; user field 256
        // (bit 23) with the button, counter 5; user field 0, counter 7.
        rig.link.frames = {{frame(0, 10, {0x01000000, 0x00C00005, 0x00000007, 0})}};
        rig.run();

        QCOMPARE(rig.only().text, QStringLiteral("Number of read events:  3"));
        QCOMPARE(rig.only().Caption(), QStringLiteral("OK"));
        QVERIFY(rig.only().taskModal);
        const QVector<StoredRow> rows = storedRows(rig.db);
        QCOMPARE(rows.size(), 3);
        // Stored oldest first.
        QCOMPARE(rows[0].timer, 7);
        QCOMPARE(rows[0].userNo, -1);
        QCOMPARE(rows[0].button, QStringLiteral("0"));
        QCOMPARE(rows[1].timer, 5);
        QCOMPARE(rows[1].userNo, 255);
        QCOMPARE(rows[1].button, QStringLiteral("1"));
        QCOMPARE(rows[2].timer, 0);
        QCOMPARE(rows[2].userNo, 0);
        QCOMPARE(rows[2].button, QStringLiteral("0"));

        // The extremes of the user field.
        Rig second;
        QVERIFY(second.open());
        second.link.frames = {{frame(0, 3000, {word(2000, 511, true), word(1000, 1, false)})}};
        second.run();
        const QVector<StoredRow> more = storedRows(second.db);
        QCOMPARE(more.size(), 2);
        QCOMPARE(more[1].userNo, 510);
        QCOMPARE(more[1].timer, 2000);
        QCOMPARE(more[1].button, QStringLiteral("1"));
        QCOMPARE(more[0].userNo, 0);
    }

    void newestStoredRowStopsTheDownload_data()
    {
        QTest::addColumn<int>("timer");
        QTest::addColumn<int>("userNo");
        QTest::addColumn<QString>("button");
        QTest::addColumn<quint32>("rebuilt");

        QTest::newRow("user 255, button 1, timer 5") << 5 << 255 << "1" << 0x00C00005u;
        QTest::newRow("any button text but 0 is pressed") << 5 << 255 << "2" << 0x00C00005u;
        QTest::newRow("empty button text is pressed") << 5 << 255 << "" << 0x00C00005u;
        QTest::newRow("button 0") << 5 << 255 << "0" << 0x00800005u;
        QTest::newRow("user 510") << 4194303 << 510 << "0" << 0xFFBFFFFFu;
        QTest::newRow("unknown user -1") << 77 << -1 << "1" << 0x0040004Du;
        QTest::newRow("bits above the field dropped") << 9 << 511 << "0" << 0x00000009u;
    }

    void newestStoredRowStopsTheDownload()
    {
        QFETCH(int, timer);
        QFETCH(int, userNo);
        QFETCH(QString, button);
        QFETCH(quint32, rebuilt);

        Rig rig;
        QVERIFY(rig.open({insertRow(1, 3, "0", "2023-01-01 09:00:00"),
                          insertRow(timer, userNo, qPrintable(button))}));
        const quint32 newer1 = word(300000, 40, false), newer2 = word(200000, 41, true);
        // The words after the mark would be stored if the mark were missed.
        rig.link.frames = {{frame(0, 400000, {newer1, newer2, rebuilt, word(100, 9, false)})}};
        rig.run();

        QCOMPARE(rig.only().text, QStringLiteral("Number of read events:  2"));
        const QVector<StoredRow> rows = storedRows(rig.db);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[2].timer, 200000);
        QCOMPARE(rows[3].timer, 300000);
    }

    void datesComeFromTheCounterAndTheHostClock_data()
    {
        QTest::addColumn<quint32>("anchor");
        QTest::newRow("anchor 1000") << 1000u;
        // Only the counter's low 22 bits take part.
        QTest::newRow("anchor with the top two bits set") << (1000u | 0xC00000u);
    }

    void datesComeFromTheCounterAndTheHostClock()
    {
        QFETCH(quint32, anchor);
        Rig rig;
        QVERIFY(rig.open());
        // The host's clock is H when the first frame arrives.
        rig.link.frames = {{frame(
            0, anchor, {word(990, 2, false), word(900, 3, false), word(4194000, 4, false)})}};
        rig.run();

        QCOMPARE(rig.only().text, QStringLiteral("Number of read events:  3"));
        const QVector<StoredRow> rows = storedRows(rig.db);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].timer, 4194000);
        QCOMPARE(rows[0].date, kHostTime - 1304); // 1204 seconds across the wrap
        QCOMPARE(rows[1].timer, 900);
        QCOMPARE(rows[1].date, kHostTime - 100);
        QCOMPARE(rows[2].timer, 990);
        QCOMPARE(rows[2].date, kHostTime - 10);
    }

    void datesChainAcrossFrames()
    {
        Rig rig;
        QVERIFY(rig.open());
        // 20 events a minute apart, in two frames. The second frame arrives
        // later, and its first word is not a status and counter: neither the
        // anchor nor the status is taken from it.
        QVector<quint32> words;
        for (int i = 0; i < 20; ++i)
            words.append(word(50000 - 60 * quint32(i), 5, false));
        rig.link.frames = {{frame(0, 50030, words.mid(0, 16))},
                           {frame(0x55, 999999, words.mid(16)), 3, false, 4}};
        rig.run();
        QCOMPARE(rig.only().text, QStringLiteral("Number of read events:  20"));
        const QVector<StoredRow> rows = storedRows(rig.db);
        QCOMPARE(rows.size(), 20);
        for (int i = 0; i < 20; ++i)
            QCOMPARE(rows[19 - i].date, kHostTime - 30 - 60 * i);
    }

    void outcomes_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("stored");

        const QString ok = QStringLiteral("OK"), error = QStringLiteral("Error");
        const QString none = QStringLiteral("There are no more events to read");
        const QString timeOut = QStringLiteral("Out of time");
        const QString cantRead = QStringLiteral("Can't read from the serial port");
        const QString comm = QStringLiteral("Communication error");

        QTest::newRow("first word is the end word") << "end-word-first" << none << ok << 0;
        QTest::newRow("first word is the newest stored") << "stored-first" << none << ok << 0;
        QTest::newRow("status byte 1 with good words") << "status" << comm << error << 0;
        QTest::newRow("word 5 is 0") << "word5"
                                     << "Number of read events:  4" << ok << 4;
        QTest::newRow("limit reached exactly") << "limit-6144"
                                               << "Number of read events:  6144" << ok << 6144;
        QTest::newRow("read that completes at once") << "at-once"
                                                     << "Number of read events:  40" << ok << 40;
        QTest::newRow("writes that complete at once") << "write-at-once"
                                                      << "Number of read events:  20" << ok << 20;
        QTest::newRow("short first frame") << "short-first" << comm << error << 0;
        QTest::newRow("short later frame") << "short-later" << comm << error << 0;
        QTest::newRow("first read cannot start") << "read-start-1" << cantRead << error << 0;
        QTest::newRow("later read cannot start") << "read-start-3" << cantRead << error << 0;
        QTest::newRow("write cannot start") << "write-start" << cantRead << error << 0;
        QTest::newRow("silence after 48 events") << "silence" << timeOut << error << 0;
        QTest::newRow("port time-out") << "port-timeout" << timeOut << error << 0;
        QTest::newRow("port gone while reading") << "poll-failed" << cantRead << error << 0;
        QTest::newRow("request byte never leaves") << "write-bound" << timeOut << error << 0;
        QTest::newRow("failed write wait") << "write-failed" << timeOut << error << 0;
        QTest::newRow("bytes for a host that has gone arrive after the purge")
            << "late"
            << "Number of read events:  40" << ok << 40;
        QTest::newRow("line never quiet") << "chatter" << comm << error << 0;
    }

    void outcomes()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(int, stored);

        Rig rig;
        QStringList setup;
        if (scenario == QLatin1String("stored-first"))
            setup = {insertRow(1234, 6, "1")};
        QVERIFY(rig.open(setup));
        const int before = storedCount(rig.db);
        auto& frames = rig.link.frames;
        const QVector<quint32> many = events(6200);
        auto full = [&](int from, int count = 16) {
            return frame(0, 200000, many.mid(from, count));
        };
        int expectedReads = -1;
        int expectedRequests = -1;
        QString detailPart;

        if (scenario == QLatin1String("end-word-first")) {
            frames = {{frame(0, 200000, {0, word(5, 5, false)})}};
        } else if (scenario == QLatin1String("stored-first")) {
            frames = {{frame(0, 200000, {word(1234, 7, true), word(5, 5, false)})}};
        } else if (scenario == QLatin1String("status")) {
            frames = {{frame(0x01, 200000, many.mid(0, 16))}, {full(16)}};
        } else if (scenario == QLatin1String("word5")) {
            QVector<quint32> w = many.mid(0, 16);
            w[4] = 0;
            frames = {{frame(0, 200000, w)}, {full(16)}};
        } else if (scenario == QLatin1String("limit-6144")) {
            for (int i = 0; i < 6144 / 16 + 2; ++i)
                frames.append({full(16 * i)});
            expectedReads = 384;
        } else if (scenario == QLatin1String("at-once")) {
            frames = {{full(0)}, {full(16), 0, true}, {frame(0, 200000, many.mid(32, 8))}};
        } else if (scenario == QLatin1String("write-at-once")) {
            rig.link.writesCompleteAtOnce = true;
            frames = {{full(0), 4}, {frame(0, 200000, many.mid(16, 4)), 2}};
        } else if (scenario == QLatin1String("short-first")) {
            frames = {{full(0).left(40)}, {full(16)}};
        } else if (scenario == QLatin1String("short-later")) {
            frames = {{full(0)}, {full(16).left(67)}, {full(32)}};
        } else if (scenario == QLatin1String("read-start-1")) {
            rig.link.failStartReadNo = 0;
            frames = {{full(0)}};
        } else if (scenario == QLatin1String("read-start-3")) {
            rig.link.failStartReadNo = 2;
            frames = {{full(0)}, {full(16)}, {full(32)}};
        } else if (scenario == QLatin1String("write-start")) {
            rig.link.failStartWrite = true;
            frames = {{full(0)}};
        } else if (scenario == QLatin1String("silence")) {
            frames = {{full(0)}, {full(16)}, {full(32)}};
        } else if (scenario == QLatin1String("port-timeout")) {
            rig.link.pollTimesOut = true;
            frames = {{full(0)}};
        } else if (scenario == QLatin1String("poll-failed")) {
            rig.link.pollFails = true;
            frames = {{full(0)}};
        } else if (scenario == QLatin1String("write-bound")) {
            rig.link.waitWriteResult = R::PortTimeout;
            frames = {{full(0)}};
        } else if (scenario == QLatin1String("write-failed")) {
            rig.link.waitWriteResult = R::Failed;
            frames = {{full(0)}};
        } else if (scenario == QLatin1String("late")) {
            // The end of a frame that was under way, then the answer to a
            // request byte that was still on the line.
            rig.link.late = {full(100).right(30), full(200)};
            frames = {{full(0)}, {full(16)}, {frame(0, 200000, many.mid(32, 8))}};
        } else if (scenario == QLatin1String("chatter")) {
            rig.link.chatters = true;
            frames = {{full(0)}};
            expectedRequests = 0;
            detailPart = QStringLiteral("without being asked");
        } else {
            QFAIL("unknown scenario");
        }

        rig.run();

        QCOMPARE(rig.messages.messages.size(), 1);
        QCOMPARE(rig.only().text, text);
        QCOMPARE(rig.only().Caption(), caption);
        QVERIFY(rig.only().taskModal);
        // Failures of the line name the port.
        QCOMPARE(rig.only().detail.contains(QStringLiteral("ttyQ0")),
                 caption == QLatin1String("Error"));
        QCOMPARE(storedCount(rig.db) - before, stored);

        // Whatever the outcome: one request byte in flight at most, nothing
        // but 0x00 sent, everything closed, the list read again and redrawn.
        QVERIFY(!rig.link.requestOverlap);
        QVERIFY(!rig.link.readOverlap);
        if (!rig.link.lastRequest.isEmpty())
            QCOMPARE(rig.link.lastRequest, QByteArray(1, '\0'));
        QVERIFY(!rig.link.portOpen);
        QVERIFY(!rig.link.signalsOpen);
        QCOMPARE(rig.link.log.count(QStringLiteral("Close")), 1);
        QCOMPARE(rig.view.updates, 1);
        QCOMPARE(rig.view.rows, qint64(before + stored));
        QCOMPARE(rig.progress.starts, 1);
        QCOMPARE(rig.progress.finishes, 1);
        if (expectedReads >= 0)
            QCOMPARE(rig.link.readsStarted, expectedReads);
        if (expectedRequests >= 0)
            QCOMPARE(rig.link.writesStarted, expectedRequests);
        QVERIFY2(rig.only().detail.contains(detailPart), qPrintable(rig.only().detail));

        // The exchange ends before anything is shown, the port is closed after
        // the port's errors are cleared (on failures), and the list is read
        // again half a second after the port was closed.
        const QStringList& log = rig.link.log;
        const qsizetype finish = log.indexOf(QStringLiteral("Progress Finish"));
        const qsizetype signalsClosed = log.indexOf(QStringLiteral("CloseSignals"));
        const qsizetype closed = log.indexOf(QStringLiteral("Close"));
        const qsizetype pause = log.lastIndexOf(QStringLiteral("Sleep 500"));
        const qsizetype shown = log.indexOf(QStringLiteral("Message ") + text);
        QVERIFY(finish >= 0 && finish < signalsClosed);
        QVERIFY(signalsClosed < closed);
        QVERIFY(closed < pause);
        QVERIFY(pause < shown);
        if (caption == QLatin1String("Error"))
            QCOMPARE(log.at(closed - 1), QStringLiteral("ClearErrors"));
        else
            QVERIFY(log.at(closed - 1) != QStringLiteral("ClearErrors"));
    }

    void requestBytesOneAtATime()
    {
        Rig rig;
        QVERIFY(rig.open());
        const QVector<quint32> w = events(40);
        // Frames that take many requests.
        rig.link.frames = {{frame(0, 200000, w.mid(0, 16)), 7},
                           {frame(0, 200000, w.mid(16, 16)), 1},
                           {frame(0, 200000, w.mid(32, 8)), 12}};
        rig.run();
        QCOMPARE(rig.only().text, QStringLiteral("Number of read events:  40"));
        QVERIFY(!rig.link.requestOverlap);
        // Every byte started was waited for before the next; one byte a pass.
        QCOMPARE(rig.link.writesWaited, rig.link.writesStarted);
        QCOMPARE(rig.link.writesStarted, 7 + 1 + 12);
    }

    void framesThatDoNotComeAsAskedStoreNothing_data()
    {
        QTest::addColumn<int>("faulty"); // the frame, 1 to 6; 6 is the last
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("byteUs");   // of the faulty frame; 0: all at once
        QTest::addColumn<int>("amount");   // of a pause or a delay, ms
        QTest::addColumn<int>("answered"); // requests the receiver answered
        QTest::addColumn<bool>("stored");

        const int line = int(LineLink::kByteUs);
        QTest::newRow("byte lost in frame 3") << 3 << "lose" << line << 0 << 3 << false;
        QTest::newRow("byte lost in the first frame") << 1 << "lose" << line << 0 << 1 << false;
        QTest::newRow("byte lost in the last frame") << 6 << "lose" << line << 0 << 6 << false;
        // At the line's speed the surplus comes after the next request has
        // left; it is still there after the last frame.
        QTest::newRow("byte doubled in frame 3") << 3 << "double" << line << 0 << 6 << false;
        QTest::newRow("byte doubled in frame 3, in one packet")
            << 3 << "double" << 0 << 0 << 3 << false;
        QTest::newRow("byte doubled in the last frame") << 6 << "double" << line << 0 << 6 << false;
        QTest::newRow("bytes nobody asked for behind frame 3")
            << 3 << "extra" << 0 << 0 << 3 << false;
        QTest::newRow("frame in two bursts 60 ms apart")
            << 3 << "pause" << line << 60 << 3 << false;
        QTest::newRow("frame ends late, 3 ms a byte") << 3 << "" << 3000 << 0 << 3 << false;
        QTest::newRow("slow but whole, 2 ms a byte") << 3 << "" << 2000 << 0 << 6 << true;
        QTest::newRow("USB adapter holds its last packet 16 ms")
            << 3 << "pause" << line << 16 << 6 << true;
        QTest::newRow("answer a second after the request")
            << 3 << "delay" << line << 1000 << 6 << true;
        QTest::newRow("frame in one packet") << 3 << "" << 0 << 0 << 6 << true;
        // The answer to a request that crossed frame 3 on a faster line.
        QTest::newRow("frame 4 right behind frame 3, in one packet")
            << 3 << "next" << 0 << 0 << 5 << true;
        QTest::newRow("every frame whole") << 3 << "" << line << 0 << 6 << true;
    }

    void framesThatDoNotComeAsAskedStoreNothing()
    {
        QFETCH(int, faulty);
        QFETCH(QString, fault);
        QFETCH(int, byteUs);
        QFETCH(int, amount);
        QFETCH(int, answered);
        QFETCH(bool, stored);

        RigOn<LineLink> rig;
        QVERIFY(rig.open());
        // 84 events: five whole frames and one with four events and the end.
        const QVector<quint32> w = events(84);
        for (int f = 0; f < 6; ++f)
            rig.link.replies.append({frame(0, 200000, w.mid(16 * f, 16))});
        LineLink::Reply& reply = rig.link.replies[faulty - 1];
        reply.byteUs = byteUs;
        reply.pauseMs = amount;
        const int inWord = 10; // in the second event word of the frame
        if (fault == QLatin1String("lose"))
            reply.bytes.remove(inWord, 1);
        else if (fault == QLatin1String("double"))
            reply.bytes.insert(inWord, reply.bytes.at(inWord));
        else if (fault == QLatin1String("next"))
            reply.bytes += rig.link.replies.at(faulty).bytes;
        else if (fault == QLatin1String("extra"))
            reply.bytes += QByteArray(4, char(0x80));
        else if (fault == QLatin1String("pause"))
            reply.pauseAfter = 62; // a USB adapter's packet
        else if (fault == QLatin1String("delay"))
            reply.delayMs = amount;
        if (fault == QLatin1String("next"))
            rig.link.replies.removeAt(faulty);
        rig.run();

        QVERIFY(!rig.link.askedAfterBegun);
        const QVector<StoredRow> rows = storedRows(rig.db);
        if (!stored) {
            QCOMPARE(rig.only().text, QStringLiteral("Communication error"));
            QCOMPARE(rows.size(), 0);
            // Found before the next frame where the bytes show it.
            QCOMPARE(rig.link.requestsAnswered, answered);
            return;
        }
        QCOMPARE(rig.only().text, QStringLiteral("Number of read events:  84"));
        QCOMPARE(rows.size(), 84);
        for (int i = 0; i < 84; ++i)
            QCOMPARE(rows[83 - i].timer, 100000 - i);
        QCOMPARE(rig.link.requestsAnswered, answered);
    }

    void preparesThePortInOrder()
    {
        Rig rig;
        QVERIFY(rig.open());
        rig.link.frames = {{frame(0, 200000, {0})}};
        rig.run(QStringLiteral("/dev/pts/7"));
        QCOMPARE(rig.link.openedName, QStringLiteral("/dev/pts/7"));
        const QStringList expected = {"MakeSignals",
                                      "Open",
                                      "SetLineFormat",
                                      "RaiseRts",
                                      "RaiseDtr",
                                      "Sleep 300",
                                      "ClearErrors",
                                      "CancelIo",
                                      "PurgeInput",
                                      "PurgeOutput",
                                      "ClearErrors",
                                      "SetReadIntervalTimeout 50",
                                      "SetReadFrameBound 150",
                                      "Sleep 60",
                                      "DiscardArrived",
                                      "Progress Start"};
        QCOMPARE(rig.link.log.mid(0, expected.size()), expected);
    }

    void progressMovesOneStepAnEvent()
    {
        Rig rig;
        QVERIFY(rig.open());
        const QVector<quint32> w = events(250);
        for (int i = 0; i < 250; i += 16)
            rig.link.frames.append({frame(0, 200000, w.mid(i, 16))});
        rig.run();
        QCOMPARE(rig.only().text, QStringLiteral("Number of read events:  250"));
        QCOMPARE(rig.progress.advances, 250);
        QCOMPARE(rig.progress.positions.size(), 251);
        QCOMPARE(rig.progress.positions.at(0), 1); // after start
        QCOMPARE(rig.progress.positions.at(1), 2); // first event
        QCOMPARE(rig.progress.positions.at(99), 100);
        QCOMPARE(rig.progress.positions.at(100), 1); // the 100th event starts again
        QCOMPARE(rig.progress.positions.at(250), 51);

        // Events taken before a failure move the bar too, though none is kept.
        Rig failing;
        QVERIFY(failing.open());
        failing.link.frames = {{frame(0, 200000, w.mid(0, 16))}};
        failing.run();
        QCOMPARE(failing.only().text, QStringLiteral("Out of time"));
        QCOMPARE(failing.progress.advances, 16);
    }

    void progressPositionArithmetic()
    {
        ProgressPosition p;
        p.Start();
        QCOMPARE(p.Position(), 1);
        for (int i = 0; i < 99; ++i)
            p.Advance();
        QCOMPARE(p.Position(), 100);
        QCOMPARE(p.Advance(), 1);
        QCOMPARE(p.Advance(), 2);
        p.Start();
        QCOMPARE(p.Position(), 1);
    }

    void failuresBeforeTheExchange()
    {
        // No database: nothing is touched.
        {
            QStringList log;
            ManualClock clock(kHostTime);
            ScriptedLink link(clock);
            LoggingMessages messages(log);
            CZq6Doc doc(&messages);
            CountingView view;
            doc.AddView(&view);
            DownloadServices services(link, clock, nullptr, PortName::Parse("ttyS0"));
            ReadEvents(doc, services);
            QCOMPARE(messages.messages.size(), 1);
            QCOMPARE(messages.messages.first().text,
                     QStringLiteral("The database is not opened !"));
            QCOMPARE(messages.messages.first().Caption(), QStringLiteral("Error"));
            QVERIFY(!messages.messages.first().taskModal);
            QVERIFY(link.log.isEmpty());
            QCOMPARE(view.updates, 0);
        }
        // The port cannot be opened: the reason comes along; no progress, no
        // refresh, the signals released.
        {
            Rig rig;
            QVERIFY(rig.open());
            rig.link.openFails = true;
            rig.run(QStringLiteral("ttyQ9"));
            QCOMPARE(rig.only().text, QStringLiteral("Error initializing serial port"));
            QCOMPARE(rig.only().Caption(), QStringLiteral("Error"));
            QCOMPARE(rig.only().detail, rig.link.openFailure.text);
            QVERIFY(!rig.only().taskModal);
            QCOMPARE(rig.progress.starts, 0);
            QCOMPARE(rig.view.updates, 0);
            QVERIFY(!rig.link.signalsOpen);
            QVERIFY(!rig.link.log.contains(QStringLiteral("Sleep 500")));
        }
        // The completion signals cannot be made: nothing at all.
        {
            Rig rig;
            QVERIFY(rig.open());
            rig.link.signalsFail = true;
            rig.run();
            QVERIFY(rig.messages.messages.isEmpty());
            QVERIFY(!rig.link.log.contains(QStringLiteral("Open")));
            QVERIFY(rig.link.log.contains(QStringLiteral("CloseSignals")));
            QCOMPARE(rig.view.updates, 0);
            QCOMPARE(rig.progress.starts, 0);
        }
    }

    void databaseErrorWhileStoringKeepsNothing_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QString>("error");
        QTest::newRow("a row refused") << false << "disk refused the row";
        QTest::newRow("a lock held by another program") << true << "database is locked";
    }

    void databaseErrorWhileStoringKeepsNothing()
    {
        QFETCH(bool, locked);
        QFETCH(QString, error);
        Rig rig;
        // The third of five inserts fails.
        QVERIFY(rig.open({insertRow(10, 1, "0"),
                          "CREATE TRIGGER refuse BEFORE INSERT ON EVENTS WHEN NEW.TIMER = 99997 "
                          "BEGIN SELECT RAISE(ABORT, 'disk refused the row'); END"}));
        // Or another program takes the file while the receiver is being read.
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
        other.setDatabaseName(rig.db);
        QVERIFY(other.open());
        bool lockTaken = false;
        if (locked)
            rig.clock.onSleep = [&](int) {
                if (!lockTaken)
                    lockTaken = QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE"));
            };
        rig.link.frames = {{frame(0, 100010, events(5, locked ? 99990 : 99999))}};
        rig.run();
        rig.clock.onSleep = nullptr;
        QCOMPARE(lockTaken, locked);
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));

        // Said once, with the database and the reason, and the list is not
        // read again: nothing changed.
        QCOMPARE(rig.messages.messages.size(), 1);
        QCOMPARE(rig.only().text, QStringLiteral("Can't add events to the database"));
        const QString detail = rig.only().detail;
        QVERIFY2(detail.contains(error) && detail.contains(QLatin1Char('"') + rig.db + '"') &&
                     detail.contains(QStringLiteral("Nothing of this download was stored")),
                 qPrintable(detail));
        QCOMPARE(rig.only().Caption(), QStringLiteral("Error"));
        QVERIFY(rig.only().taskModal);
        QCOMPARE(storedCount(rig.db), 1);
        QVERIFY(!rig.link.portOpen);
        QVERIFY(!rig.link.signalsOpen);
        QCOMPARE(rig.view.updates, 0);

        // The private connection was closed: the next download works (up to
        // the newest stored event).
        rig.messages.messages.clear();
        rig.link.frames = {{frame(0, 100010, events(5, 99990) << word(10, 2, false))}};
        rig.run();
        QCOMPARE(rig.only().text, QStringLiteral("Number of read events:  5"));
        QCOMPARE(storedCount(rig.db), 6);
    }

    // Another program takes the file in the pause after the commit: the list
    // cannot be read again, and the download stands.
    void aListThatCannotBeReadAgainLeavesTheDownloadStored()
    {
        Rig rig;
        QVERIFY(rig.open());
        rig.doc.RemoveView(&rig.view); // its count would wait for the same lock
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "after");
        other.setDatabaseName(rig.db);
        QVERIFY(other.open());
        bool lockTaken = false;
        rig.clock.onSleep = [&](int milliseconds) {
            if (milliseconds == 500 && storedCount(rig.db) == 5)
                lockTaken = QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE"));
        };
        rig.link.frames = {{frame(0, 100010, events(5, 99990))}};
        rig.run();
        rig.clock.onSleep = nullptr;
        QVERIFY(lockTaken);
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("ROLLBACK")));
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("after"));

        QCOMPARE(rig.messages.messages.size(), 2);
        QCOMPARE(rig.messages.messages[0].text, QStringLiteral("Number of read events:  5"));
        const UserMessage warning = rig.messages.messages[1];
        QCOMPARE(warning.Caption(), QStringLiteral("Warning"));
        QVERIFY2(warning.detail.startsWith(QStringLiteral("The events of this download are "
                                                          "stored.")) &&
                     warning.detail.contains(QStringLiteral("database is locked")),
                 qPrintable(warning.detail));
        QCOMPARE(storedCount(rig.db), 5);
    }

    void exchangeOnAWorkerThread()
    {
        // As the desktop runs it: the exchange and the storing on a thread of
        // their own, the message and the refresh back on the calling thread.
        class ThreadedServices : public DownloadServices
        {
        public:
            using DownloadServices::DownloadServices;
            void Execute(const std::function<void()>& job) override
            {
                std::thread worker([&] {
                    jobThread = QThread::currentThread();
                    job();
                });
                worker.join();
            }
            QThread* jobThread = nullptr;
        };

        Rig rig;
        QVERIFY(rig.open({insertRow(10, 1, "0")}));
        // Up to the newest stored event.
        rig.link.frames = {{frame(0, 100010, events(30, 99999).mid(0, 16))},
                           {frame(0, 100010, events(30, 99999).mid(16, 14) << word(10, 2, false))}};
        ThreadedServices services(rig.link, rig.clock, &rig.progress, PortName::Parse("ttyQ0"));
        ReadEvents(rig.doc, services);

        QVERIFY(services.jobThread && services.jobThread != QThread::currentThread());
        QCOMPARE(rig.only().text, QStringLiteral("Number of read events:  30"));
        QCOMPARE(rig.messages.threads.first(), QThread::currentThread());
        QCOMPARE(rig.view.thread, QThread::currentThread());
        QCOMPARE(rig.view.rows, qint64(31));
        QCOMPARE(storedCount(rig.db), 31);
    }

    void firstDownloadIntoAnEmptyList()
    {
        Rig rig;
        QVERIFY(rig.open());
        QVERIFY(g_pSet && g_pSet->IsBOF());
        rig.link.frames = {{frame(0, 200000, events(7))}};
        rig.run();
        QCOMPARE(rig.only().text, QStringLiteral("Number of read events:  7"));
        // The shared set was read again before the views were told.
        QVERIFY(rig.view.firstRowCurrent);
        QCOMPARE(rig.view.rows, qint64(7));
        // The first word the receiver sent is the newest event, stored last.
        QCOMPARE(storedRows(rig.db).last().timer, eventword::Timer(events(7).at(0)));
    }

    void arbitraryByteStreamsStoreWholeDownloadsOrNothing()
    {
        // Whatever the line carries, each download either stores exactly the
        // events it reports or nothing, and every stored row is a valid event.
        Rig rig;
        QVERIFY(rig.open());
        QRandomGenerator random(20261207);
        int stored = 0;
        for (int run = 0; run < 300; ++run) {
            rig.messages.messages.clear();
            rig.link.frames.clear();
            const int frames = int(random.bounded(6));
            for (int f = 0; f < frames; ++f) {
                QByteArray bytes;
                if (random.bounded(3) == 0) {
                    bytes = QByteArray(int(random.bounded(69)), '\0');
                    for (char& b : bytes)
                        b = char(random.bounded(256));
                } else {
                    QVector<quint32> words;
                    const int count = int(random.bounded(17));
                    for (int w = 0; w < count; ++w)
                        words.append(random.bounded(4) == 0 ? 0u : random.generate());
                    bytes = frame(random.bounded(8) == 0 ? quint8(random.bounded(256)) : 0,
                                  random.generate() & 0xFFFFFF, words);
                }
                rig.link.frames.append({bytes, 1 + int(random.bounded(3)), random.bounded(4) == 0,
                                        int(random.bounded(7))});
            }
            rig.run();

            // The outcome, then at most warnings.
            QVERIFY(!rig.messages.messages.isEmpty());
            for (qsizetype i = 1; i < rig.messages.messages.size(); ++i)
                QCOMPARE(rig.messages.messages[i].Caption(), QStringLiteral("Warning"));
            const UserMessage m = rig.messages.messages.first();
            const QVector<StoredRow> rows = storedRows(rig.db);
            if (m.text.startsWith(QLatin1String("Number of read events:  "))) {
                QCOMPARE(m.Caption(), QStringLiteral("OK"));
                stored += m.text.mid(24).toInt();
            } else {
                QVERIFY2(m.text == QLatin1String("There are no more events to read") ||
                             m.Caption() == QLatin1String("Error"),
                         qPrintable(m.text));
            }
            QCOMPARE(rows.size(), stored);
            QVERIFY(!rig.link.portOpen);
            QVERIFY(!rig.link.signalsOpen);
            QVERIFY(!rig.link.requestOverlap);
        }
        QVERIFY(stored > 0);
        for (const StoredRow& row : storedRows(rig.db)) {
            QVERIFY(row.timer >= 0 && row.timer <= 0x3FFFFF);
            QVERIFY(row.userNo >= -1 && row.userNo <= 510);
            QVERIFY(row.button == QLatin1String("0") || row.button == QLatin1String("1"));
        }
    }
};

QTEST_GUILESS_MAIN(TestDownload)
#include "test_download.moc"
