// Sessions, frames and faults of the simulated receiver, driven by a made-up
// clock (milliseconds), and the commands it takes on standard input.
#include "receiver.h"

#include <QTest>
#include <QtEndian>

using namespace zqsim;

namespace {

struct Frame
{
    quint8 status = 0;
    quint32 counter = 0;
    FrameWords words{};
};

Frame decodeFrame(const QByteArray& bytes)
{
    Frame frame;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const quint32 head = qFromLittleEndian<quint32>(data);
    frame.status = quint8(head & 0xFF);
    frame.counter = head >> 8;
    for (int i = 0; i < WordsPerFrame; ++i)
        frame.words[i] = qFromLittleEndian<quint32>(data + 4 + 4 * i);
    return frame;
}

// Events 10 s apart, several users, every third with the button.
QList<Event> makeLog(int count)
{
    QList<Event> log;
    for (int i = 0; i < count; ++i)
        log.append({quint32(1000 + 10 * i), 1 + i % 7, i % 3 == 0});
    return log;
}

// The event words a healthy receiver sends for `log`: newest first.
QList<quint32> newestFirst(const QList<Event>& log)
{
    QList<quint32> words;
    for (qsizetype i = log.size() - 1; i >= 0; --i)
        words.append(encodeEvent(log[i]));
    return words;
}

// One request answered and sent completely, as the pseudo-terminal loop does.
Frame exchange(Receiver& receiver, qint64 t)
{
    const QByteArray bytes = receiver.request(t);
    if (bytes.size() != FrameSize)
        qFatal("expected a whole frame, got %d bytes", int(bytes.size()));
    receiver.replySent(t);
    return decodeFrame(bytes);
}

} // namespace

class TestSimReceiver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstFrameCarriesCounterNow();
    void counterWrapsAt24Bits();
    void sessionSendsLogNewestFirst_data();
    void sessionSendsLogNewestFirst();
    void pauseStartsNewSession_data();
    void pauseStartsNewSession();
    void requestsDuringReplyAreDropped();
    void droppedRequestsKeepSessionAlive();
    void idleEndsSession();

    void statusFault();
    void silenceFault();
    void shortFrameFault();
    void junkFault();
    void noEndWordFault();

    void addedEventWaitsForNextSession();
    void addEventRefusesEndWord();
    void addRandomStaysBetweenNewestAndNow();
    void commands_data();
    void commands();
};

void TestSimReceiver::firstFrameCarriesCounterNow()
{
    Receiver receiver(makeLog(3), 0x123456, 1000);
    const QByteArray bytes = receiver.request(6300);
    QCOMPARE(bytes.size(), 68);
    QCOMPARE(bytes.left(4), QByteArray::fromHex("005B3412")); // 5 s later
    QCOMPARE(receiver.counterAt(1999), 0x123456u);
    QCOMPARE(receiver.counterAt(2000), 0x123457u);
}

void TestSimReceiver::counterWrapsAt24Bits()
{
    Receiver receiver({}, 0xFFFFFE, 0);
    QCOMPARE(receiver.counterAt(1000), 0xFFFFFFu);
    QCOMPARE(receiver.counterAt(2000), 0u);
    QCOMPARE(exchange(receiver, 3000).counter, 1u);
}

void TestSimReceiver::sessionSendsLogNewestFirst_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("empty") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("15") << 15;
    QTest::newRow("one frame exactly") << 16;
    QTest::newRow("17") << 17;
    QTest::newRow("40") << 40;
}

void TestSimReceiver::sessionSendsLogNewestFirst()
{
    QFETCH(int, count);
    const QList<Event> log = makeLog(count);
    Receiver receiver(log, 5000, 0);

    // Every frame after the last event too: the end word, then zeros.
    const int frames = count / WordsPerFrame + 2;
    QList<quint32> words;
    qint64 t = 100;
    for (int f = 0; f < frames; ++f, t += 80) {
        const Frame frame = exchange(receiver, t);
        QCOMPARE(frame.status, quint8(0));
        QCOMPARE(frame.counter, 5000u);
        words.append(QList<quint32>(frame.words.begin(), frame.words.end()));
    }
    QCOMPARE(receiver.sessions(), 1);
    QCOMPARE(words.mid(0, count), newestFirst(log));
    QCOMPARE(words.mid(count), QList<quint32>(words.size() - count, EndWord));
}

void TestSimReceiver::pauseStartsNewSession_data()
{
    QTest::addColumn<qint64>("pause");
    QTest::addColumn<bool>("newSession");
    QTest::newRow("250 ms") << qint64(250) << false;
    QTest::newRow("251 ms") << qint64(251) << true;
    QTest::newRow("3 s") << qint64(3000) << true;
}

void TestSimReceiver::pauseStartsNewSession()
{
    QFETCH(qint64, pause);
    QFETCH(bool, newSession);
    const QList<Event> log = makeLog(40);
    Receiver receiver(log, 0x3FFFF0, 0);

    exchange(receiver, 400);
    const qint64 last = 470;
    exchange(receiver, last);
    const Frame frame = exchange(receiver, last + pause);

    const QList<quint32> expected = newestFirst(log);
    const int first = newSession ? 0 : 32;
    QCOMPARE(frame.words[0], expected[first]);
    QCOMPARE(receiver.sessions(), newSession ? 2 : 1);
    QCOMPARE(receiver.framesInSession(), newSession ? 1 : 3);
    if (newSession)
        QCOMPARE(frame.counter, receiver.counterAt(last + pause));
}

void TestSimReceiver::requestsDuringReplyAreDropped()
{
    const QList<Event> log = makeLog(40);
    Receiver receiver(log, 2000, 0);
    const QList<quint32> expected = newestFirst(log);

    QCOMPARE(receiver.request(10).size(), 68);
    QVERIFY(receiver.busy());
    for (qint64 t = 11; t < 80; ++t)
        QVERIFY(receiver.request(t).isEmpty());
    QCOMPARE(receiver.droppedInSession(), 69);
    receiver.replySent(81);
    QVERIFY(!receiver.busy());

    // None of the dropped requests used up events.
    const Frame second = exchange(receiver, 82);
    QCOMPARE(second.words[0], expected[16]);
    QCOMPARE(receiver.framesInSession(), 2);
}

void TestSimReceiver::droppedRequestsKeepSessionAlive()
{
    // A reply stuck for longer than the session pause (the host not reading)
    // while requests keep coming must not start a new session.
    const QList<Event> log = makeLog(40);
    Receiver receiver(log, 2000, 0);
    QCOMPARE(receiver.request(0).size(), 68);
    for (qint64 t = 1; t <= 600; ++t)
        QVERIFY(receiver.request(t).isEmpty());
    QVERIFY(receiver.idle(600).isEmpty());
    receiver.replySent(600);
    const Frame next = exchange(receiver, 601);
    QCOMPARE(receiver.sessions(), 1);
    QCOMPARE(next.words[0], newestFirst(log)[16]);
}

void TestSimReceiver::idleEndsSession()
{
    Receiver receiver(makeLog(5), 2000, 0);
    QVERIFY(!receiver.sessionActive());
    QCOMPARE(receiver.nextWakeup(), qint64(-1));
    exchange(receiver, 1000);
    QVERIFY(receiver.sessionActive());
    QVERIFY(receiver.nextWakeup() > 1250);
    QVERIFY(receiver.idle(1250).isEmpty());
    QVERIFY(receiver.sessionActive());
    QVERIFY(receiver.idle(1251).isEmpty()); // no junk fault: nothing to send
    QVERIFY(!receiver.sessionActive());
    QCOMPARE(receiver.nextWakeup(), qint64(-1));
}

void TestSimReceiver::statusFault()
{
    Faults faults;
    faults.status = 0x07;
    Receiver receiver(makeLog(40), 2000, 0, faults);
    QCOMPARE(exchange(receiver, 0).status, quint8(0x07));
    QCOMPARE(exchange(receiver, 80).status, quint8(0));
    QCOMPARE(exchange(receiver, 500).status, quint8(0x07)); // every session
}

void TestSimReceiver::silenceFault()
{
    Faults faults;
    faults.silenceAfter = 2;
    const QList<Event> log = makeLog(40);
    Receiver receiver(log, 2000, 0, faults);
    exchange(receiver, 0);
    exchange(receiver, 80);
    for (qint64 t = 160; t < 5400; t += 1)
        QVERIFY(receiver.request(t).isEmpty());
    // The host gives up and comes back later: a new session is answered.
    const Frame frame = exchange(receiver, 6000);
    QCOMPARE(frame.words[0], newestFirst(log)[0]);
    QCOMPARE(receiver.sessions(), 2);

    faults.silenceAfter = 0;
    Receiver mute(log, 2000, 0, faults);
    QVERIFY(mute.request(0).isEmpty());
}

void TestSimReceiver::shortFrameFault()
{
    const QList<Event> log = makeLog(60);
    Receiver healthy(log, 2000, 0);
    healthy.request(0);
    healthy.replySent(70);
    const QByteArray full = healthy.request(80);

    Faults faults;
    faults.shortFrame = 2;
    faults.shortLength = 20;
    Receiver receiver(log, 2000, 0, faults);
    exchange(receiver, 0);
    const QByteArray cut = receiver.request(80);
    QCOMPARE(cut, full.left(20));
    receiver.replySent(100);

    // Quiet for longer than the host's 50 ms inter-byte time-out...
    for (qint64 t = 101; t < 100 + Receiver::ShortFramePauseMs; ++t)
        QVERIFY(receiver.request(t).isEmpty());
    // ...then on with the events after those of the lost frame.
    const Frame third = exchange(receiver, 100 + Receiver::ShortFramePauseMs);
    QCOMPARE(third.words[0], newestFirst(log)[32]);
    QCOMPARE(receiver.framesInSession(), 3);
}

void TestSimReceiver::junkFault()
{
    Receiver healthy(makeLog(5), 2000, 0);
    QVERIFY(healthy.start().isEmpty());

    Faults faults;
    faults.junk = 9;
    Receiver receiver(makeLog(5), 2000, 0, faults);
    const QByteArray atStart = receiver.start();
    QCOMPARE(atStart.size(), 9);
    QVERIFY(!atStart.contains('\0'));

    exchange(receiver, 1000);
    QVERIFY(receiver.idle(1200).isEmpty());
    const QByteArray afterSession = receiver.idle(1300);
    QCOMPARE(afterSession.size(), 9);
    QVERIFY(!afterSession.contains('\0'));
    QVERIFY(receiver.idle(1400).isEmpty()); // once per session
}

void TestSimReceiver::noEndWordFault()
{
    Faults faults;
    faults.noEndWord = true;
    const QList<Event> log = makeLog(20);
    Receiver receiver(log, 2000, 0, faults);
    exchange(receiver, 0);
    const Frame second = exchange(receiver, 80);
    const Frame third = exchange(receiver, 160);
    const QList<quint32> expected = newestFirst(log);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(second.words[i], expected[16 + i]);
    for (int i = 4; i < WordsPerFrame; ++i)
        QVERIFY(second.words[i] != EndWord);
    for (quint32 word : third.words)
        QVERIFY(word != EndWord);
}

void TestSimReceiver::addedEventWaitsForNextSession()
{
    const QList<Event> log = makeLog(20);
    Receiver receiver(log, 5000, 0);
    exchange(receiver, 2000);

    const auto added = receiver.addEvent(300, true, 2050);
    QVERIFY(added);
    QCOMPARE(*added, (Event{5002, 300, true}));

    // The session under way goes on with the older events.
    const Frame second = exchange(receiver, 2080);
    QCOMPARE(second.words[0], newestFirst(log)[16]);
    QCOMPARE(second.words[4], EndWord);

    const Frame next = exchange(receiver, 9000);
    QCOMPARE(next.counter, 5009u);
    QCOMPARE(next.words[0], encodeEvent({5002, 300, true}));
    QCOMPARE(next.words[1], newestFirst(log)[0]);
}

void TestSimReceiver::addEventRefusesEndWord()
{
    Receiver receiver({}, 0, 0);
    QVERIFY(!receiver.addEvent(0, false, 500));
    QVERIFY(receiver.log().isEmpty());
    QVERIFY(receiver.addEvent(0, true, 500));
    QVERIFY(receiver.addEvent(1, false, 500));
    QCOMPARE(receiver.log().size(), 2);
}

void TestSimReceiver::addRandomStaysBetweenNewestAndNow()
{
    // The log ends just before the wrap, the counter now is past it.
    const QList<Event> log{{0x3FFF00, 3, false}, {0x3FFFF0, 4, false}};
    Receiver receiver(log, 0x400020, 0);
    const QList<Event> added = receiver.addRandom(50, 1000);
    QCOMPARE(added.size(), 50);
    QCOMPARE(receiver.log().size(), 52);

    quint32 previous = 0x3FFFF0;
    quint32 previousWord = encodeEvent(log.last());
    quint64 forward = 0;
    for (const Event& event : added) {
        forward += (event.counter - previous) & EventCounterMask;
        previous = event.counter;
        QVERIFY(encodeEvent(event) != previousWord);
        QVERIFY(encodeEvent(event) != EndWord);
        previousWord = encodeEvent(event);
    }
    // 0x3FFFF0 to 0x21 is 0x31 seconds forward; every step went forward.
    QCOMPARE(forward, quint64(0x31));
    QCOMPARE(added.last().counter, 0x21u);
}

void TestSimReceiver::commands_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("user");
    QTest::addColumn<bool>("button");
    QTest::addColumn<int>("count");

    auto row = [](const char* line, Command::Kind kind, int user = 0, bool button = false,
                  int count = 0) {
        QTest::newRow(line) << QString::fromUtf8(line) << int(kind) << user << button << count;
    };
    row("add 7 1", Command::Add, 7, true);
    row("  add   0x1FF  ", Command::Add, 511);
    row("add 0 0", Command::Add, 0);
    row("add-random 25", Command::AddRandom, 0, false, 25);
    row("status", Command::Status);
    row("help", Command::Help);
    row("quit", Command::Quit);
    row("", Command::Empty);
    row("   ", Command::Empty);
    row("add", Command::Invalid);
    row("add 512", Command::Invalid);
    row("add 3 2", Command::Invalid);
    row("add 3 1 9", Command::Invalid);
    row("add-random 0", Command::Invalid);
    row("add-random", Command::Invalid);
    row("status now", Command::Invalid);
    row("frobnicate", Command::Invalid);
}

void TestSimReceiver::commands()
{
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(int, user);
    QFETCH(bool, button);
    QFETCH(int, count);

    const Command command = parseCommand(line);
    QCOMPARE(int(command.kind), kind);
    QCOMPARE(command.error.isEmpty(), kind != Command::Invalid);
    if (kind == Command::Add) {
        QCOMPARE(command.user, user);
        QCOMPARE(command.button, button);
    }
    if (kind == Command::AddRandom)
        QCOMPARE(command.count, count);
}

QTEST_APPLESS_MAIN(TestSimReceiver)
#include "test_sim_receiver.moc"
