// Event words, frames, the text log format and the log generator of the
// simulated receiver.
#include "simlog.h"

#include <QSet>
#include <QTest>
#include <QtEndian>

using namespace zqsim;

Q_DECLARE_METATYPE(zqsim::Event)

namespace {

// Dates a log newest first the way the host does: each event lies
// (newer counter - its counter) mod 2^22 seconds before the newer one, the
// newest measured from the counter now. Returns seconds before now, newest first.
QList<quint64> hostAges(const QList<Event>& log, quint32 counterNow)
{
    QList<quint64> ages;
    quint32 previous = counterNow;
    quint64 age = 0;
    for (qsizetype i = log.size() - 1; i >= 0; --i) {
        age += (previous - log[i].counter) & EventCounterMask;
        previous = log[i].counter;
        ages.append(age);
    }
    return ages;
}

} // namespace

class TestSimLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eventWord_data();
    void eventWord();
    void eventCounterKeepsLow22Bits();
    void frameLayout();

    void parseAcceptsCommentsHexAndBlankLines();
    void parseTakesLowerCounterAsWrap();
    void parseErrors_data();
    void parseErrors();
    void readLogFileNamesTheFile();
    void sampleLogIsValid();

    void generatorIsDeterministic();
    void generatedLogDatesInOrder_data();
    void generatedLogDatesInOrder();
    void generatedUserMix();
};

void TestSimLog::eventWord_data()
{
    QTest::addColumn<quint32>("counter");
    QTest::addColumn<int>("user");
    QTest::addColumn<bool>("button");
    QTest::addColumn<quint32>("word");

    QTest::newRow("user field 0") << 1u << 0 << false << 0x00000001u;
    QTest::newRow("user field 1") << 0u << 1 << false << 0x01000000u;
    QTest::newRow("user field 255") << 0u << 255 << false << 0xFF000000u;
    QTest::newRow("user field 256, button") << 5u << 256 << true << 0x00C00005u;
    QTest::newRow("user field 257") << 0x123456u << 257 << false << 0x01923456u;
    QTest::newRow("user field 511") << 0u << 511 << false << 0xFF800000u;
    QTest::newRow("button only") << 0u << 0 << true << 0x00400000u;
    QTest::newRow("counter 0x3FFFFF") << 0x3FFFFFu << 0 << false << 0x003FFFFFu;
    QTest::newRow("all bits") << 0x3FFFFFu << 511 << true << 0xFFFFFFFFu;
}

void TestSimLog::eventWord()
{
    QFETCH(quint32, counter);
    QFETCH(int, user);
    QFETCH(bool, button);
    QFETCH(quint32, word);

    const Event event{counter, user, button};
    QCOMPARE(encodeEvent(event), word);
    QCOMPARE(decodeEvent(word), event);
}

void TestSimLog::eventCounterKeepsLow22Bits()
{
    // Events hold the counter modulo 2^22; higher bits never reach the user field.
    QCOMPARE(encodeEvent({0x400005, 0, false}), 0x00000005u);
    QCOMPARE(encodeEvent({0xFFFFFF, 1, false}), 0x013FFFFFu);
}

void TestSimLog::frameLayout()
{
    FrameWords words{};
    for (int i = 0; i < WordsPerFrame; ++i)
        words[i] = 0x11223344u + quint32(i);
    const QByteArray frame = encodeFrame(0x5A, 0xABCDEF, words);

    QCOMPARE(frame.size(), 68);
    QCOMPARE(frame.left(4), QByteArray::fromHex("5AEFCDAB"));
    QCOMPARE(frame.mid(4, 4), QByteArray::fromHex("44332211"));
    for (int i = 0; i < WordsPerFrame; ++i)
        QCOMPARE(qFromLittleEndian<quint32>(frame.constData() + 4 + 4 * i), words[i]);

    // Only 24 bits of counter fit beside the status byte.
    QCOMPARE(encodeFrame(0, 0x1ABCDEF, words).left(4), QByteArray::fromHex("00EFCDAB"));
}

void TestSimLog::parseAcceptsCommentsHexAndBlankLines()
{
    const ParseResult result = parseLog(QStringLiteral("# a log\r\n"
                                                       "\n"
                                                       "   100 0 1   # first\r\n"
                                                       "0x1F4\t0x1FF 0\n"
                                                       "\t\n"
                                                       "0X3FFFFF 256 1"));
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QList<Event> expected{{100, 0, true}, {500, 511, false}, {0x3FFFFF, 256, true}};
    QCOMPARE(result.events, expected);
}

void TestSimLog::parseTakesLowerCounterAsWrap()
{
    const ParseResult result = parseLog(QStringLiteral("0x3FFFF0 1 0\n0x10 2 0\n0x20 3 0\n"));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.events.size(), 3);
    QCOMPARE(logSpan(result.events), quint64(0x30));
}

void TestSimLog::parseErrors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");

    auto row = [](const char* name, const char* text, int line, const char* message) {
        QTest::newRow(name) << QString::fromUtf8(text) << line << QString::fromUtf8(message);
    };
    row("two fields", "1 2\n", 1, "found 2 field(s)");
    row("four fields after comments", "# header\n\n10 1 0\n11 2 0 7\n", 4, "found 4 field(s)");
    row("word", "10 x 0", 1, "USER_FIELD 'x' is not");
    row("negative", "-1 2 0", 1, "COUNTER '-1' is not");
    row("bare 0x", "0x 2 0", 1, "COUNTER '0x' is not");
    row("counter too big", "10 1 0\n0x400000 1 0", 2, "COUNTER 0x400000 is out");
    row("user too big", "5 512 0", 1, "USER_FIELD 512 is out");
    row("button 2", "5 1 2", 1, "BUTTON 2 must be 0 or 1");
    row("end word", "7 1 0\n0 0 0\n", 2, "the word 0");
    // 100 -> 99 is a wrap of 2^22 - 1 seconds; one more second is too long.
    row("span", "100 1 0\n99 1 0\n100 1 0\n", 3, "spans 4194304 seconds");
}

void TestSimLog::parseErrors()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(QString, message);

    const ParseResult result = parseLog(text);
    QVERIFY(!result.ok());
    QCOMPARE(result.errorLine, line);
    QVERIFY2(result.error.startsWith(QStringLiteral("line %1: ").arg(line)),
             qPrintable(result.error));
    QVERIFY2(result.error.contains(message), qPrintable(result.error));
    QVERIFY(result.events.isEmpty());
}

void TestSimLog::readLogFileNamesTheFile()
{
    const QString missing = QStringLiteral("no-such-dir/no-such.log");
    const ParseResult result = readLogFile(missing);
    QVERIFY(!result.ok());
    QVERIFY2(result.error.startsWith(missing + QLatin1Char(':')), qPrintable(result.error));
}

void TestSimLog::sampleLogIsValid()
{
    const ParseResult result = readLogFile(QStringLiteral(ZQ_SOURCE_DIR "/sim/sample.log"));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.events.size(), 40);
    QSet<int> users;
    for (const Event& event : result.events)
        users.insert(event.user);
    QVERIFY(users.size() >= 4);
    QVERIFY(users.contains(0) && users.contains(511));
}

void TestSimLog::generatorIsDeterministic()
{
    const QList<Event> a = generateLog(500, 12345, 0x200000);
    QCOMPARE(a.size(), 500);
    QCOMPARE(generateLog(500, 12345, 0x200000), a);
    QVERIFY(generateLog(500, 12346, 0x200000) != a);
    // A different counter moves the log, not its users and buttons.
    const QList<Event> b = generateLog(500, 12345, 0x200010);
    for (qsizetype i = 0; i < a.size(); ++i) {
        QCOMPARE(b[i].counter, (a[i].counter + 0x10) & EventCounterMask);
        QCOMPARE(b[i].user, a[i].user);
        QCOMPARE(b[i].button, a[i].button);
    }
}

void TestSimLog::generatedLogDatesInOrder_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<quint64>("seed");
    QTest::addColumn<quint32>("counterNow");

    QTest::newRow("one event") << 1 << quint64(3) << 0x3FFFFFu;
    QTest::newRow("2000 events") << 2000 << quint64(1) << 0x100000u;
    QTest::newRow("straddles the wrap") << 6200 << quint64(42) << 50u;
    QTest::newRow("24-bit counter") << 300 << quint64(7) << 0xFFFF00u;
    QTest::newRow("compressed gaps") << 200000 << quint64(5) << 0x123456u;
}

void TestSimLog::generatedLogDatesInOrder()
{
    QFETCH(int, count);
    QFETCH(quint64, seed);
    QFETCH(quint32, counterNow);

    const QList<Event> log = generateLog(count, seed, counterNow);
    QCOMPARE(log.size(), count);

    QSet<quint32> words;
    for (const Event& event : log) {
        QVERIFY(event.counter <= EventCounterMask);
        QVERIFY(event.user >= 0 && event.user <= MaxUserField);
        QVERIFY(encodeEvent(event) != EndWord);
        words.insert(encodeEvent(event));
    }
    // Equal words would stop a download early.
    QCOMPARE(words.size(), count);

    // The host must date every event strictly before the newer one and no
    // further back than it can tell apart.
    const QList<quint64> ages = hostAges(log, counterNow);
    QVERIFY(ages.first() > 0);
    for (qsizetype i = 1; i < ages.size(); ++i)
        QVERIFY(ages[i] > ages[i - 1]);
    QVERIFY(ages.last() < quint64(EventCounterMask));

    if (counterNow < 0x1000) {
        // The oldest events lie before the wrap, the newest after it.
        QVERIFY(log.first().counter > log.last().counter);
        QVERIFY(log.last().counter < counterNow);
    }
}

void TestSimLog::generatedUserMix()
{
    const QList<Event> log = generateLog(5000, 9, 0x100000);
    QHash<int, int> counts;
    int buttons = 0;
    for (const Event& event : log) {
        ++counts[event.user];
        buttons += event.button ? 1 : 0;
    }
    QVERIFY(counts.contains(0));
    QVERIFY(counts.contains(511));
    QVERIFY(counts.contains(256));
    QList<int> frequencies = counts.values();
    std::sort(frequencies.begin(), frequencies.end(), std::greater<>());
    int regular = 0;
    for (int i = 0; i < 7 && i < frequencies.size(); ++i)
        regular += frequencies[i];
    QVERIFY2(regular > 5000 * 7 / 10, "a handful of users should make most events");
    QVERIFY(counts.size() > 50);
    QVERIFY(buttons > 500 && buttons < 2000);
}

QTEST_APPLESS_MAIN(TestSimLog)
#include "test_sim_log.moc"
