// QtSerialLink on a real pseudo-terminal, the far end played by the test;
// the decision that a read has ended, with scripted bytes and time.

#include "link/qtseriallink.h"
#include "link/readgather.h"
#include "tests/link/ptypair.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>
#include <array>
#include <atomic>
#include <cstring>
#include <thread>

using R = SerialLink::Result;

namespace {

// One look at the source: the bytes that have arrived just before it, and the
// time that passes right after it.
struct Look
{
    int arrived;
    int thenMs;
};
using Script = QList<Look>;

bool sameSettings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           ::cfgetispeed(&a) == ::cfgetispeed(&b) && ::cfgetospeed(&a) == ::cfgetospeed(&b);
}

QByteArray pattern(int size, char first)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(first + i);
    return bytes;
}

// Opens and prepares the port as the download does, without the pause.
bool openPrepared(QtSerialLink& link, const QString& path)
{
    if (!link.MakeSignals() || !link.Open(path))
        return false;
    link.SetLineFormat();
    link.RaiseRts();
    link.RaiseDtr();
    link.ClearErrors();
    link.CancelIo();
    link.PurgeInput();
    link.PurgeOutput();
    link.ClearErrors();
    link.SetReadIntervalTimeout(50);
    return true;
}

// Polls the read until it completes; -1 when it has not within two seconds.
int pollUntilDone(QtSerialLink& link)
{
    QElapsedTimer t;
    t.start();
    int n = 0;
    while (!t.hasExpired(2000)) {
        if (link.PollRead(&n) == R::Completed)
            return n;
    }
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(Script)

class TestLinkQtSerial : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openFailuresSayWhy()
    {
        using Reason = PortOpenFailure::Reason;
        QtSerialLink link;
        QVERIFY(!link.Open(QStringLiteral("ttyZQ404")));
        QVERIFY2(link.OpenFailure().text.contains(QStringLiteral("no serial port")),
                 qPrintable(link.OpenFailure().text));
        QVERIFY(link.OpenFailure().text.contains(QStringLiteral("/dev/ttyZQ404")));
        QCOMPARE(link.OpenFailure().reason, Reason::NoSuchDevice);

        QVERIFY(!link.Open(QString()));
        QVERIFY2(link.OpenFailure().text.contains(QStringLiteral("No serial port is chosen")),
                 qPrintable(link.OpenFailure().text));
        QCOMPARE(link.OpenFailure().reason, Reason::NoPortChosen);

        // Held by another program: refused, and usable again once let go.
        PtyPair pty;
        QVERIFY(pty.IsValid());
        {
            QSerialPort other;
            other.setPortName(pty.SlavePath());
            QVERIFY(other.open(QIODevice::ReadWrite));
            QVERIFY(!link.Open(pty.SlavePath()));
            QCOMPARE(
                link.OpenFailure().text,
                QStringLiteral("The port %1 is held by another program.").arg(pty.SlavePath()));
            QCOMPARE(link.OpenFailure().reason, Reason::Held);
        }
        QVERIFY(link.Open(pty.SlavePath()));
        // While this link holds it, nobody else gets it.
        QSerialPort other;
        other.setPortName(pty.SlavePath());
        QVERIFY(!other.open(QIODevice::ReadWrite));
        link.Close();
        QVERIFY(other.open(QIODevice::ReadWrite));
    }

    void lineIsRawWhateverThePortHad_data()
    {
        QTest::addColumn<bool>("hardwareHandshake");
        QTest::newRow("no hardware handshaking") << false;
        QTest::newRow("hardware handshaking") << true;
    }

    void lineIsRawWhateverThePortHad()
    {
        QFETCH(bool, hardwareHandshake);
        PtyPair pty;
        QVERIFY(pty.IsValid());
        termios found{};
        QCOMPARE(::tcgetattr(pty.SlaveFd(), &found), 0);
        // A terminal's settings: flow control and translation both ways.
        found.c_iflag |= IXON | IXOFF | ICRNL | INLCR | ISTRIP;
        found.c_oflag |= OPOST | ONLCR;
        found.c_cflag = hardwareHandshake ? found.c_cflag | CRTSCTS : found.c_cflag & ~CRTSCTS;
        QCOMPARE(::tcsetattr(pty.SlaveFd(), TCSANOW, &found), 0);
        QCOMPARE(::tcgetattr(pty.SlaveFd(), &found), 0);
        QVERIFY(found.c_iflag & IXON);
        if (bool(found.c_cflag & CRTSCTS) != hardwareHandshake)
            QSKIP("this pseudo-terminal does not keep hardware handshaking");

        QtSerialLink link;
        QVERIFY(openPrepared(link, pty.SlavePath()));
        termios now{};
        QCOMPARE(::tcgetattr(pty.SlaveFd(), &now), 0);
        QCOMPARE(bool(now.c_cflag & CRTSCTS), hardwareHandshake);
        QCOMPARE(::cfgetospeed(&now), speed_t(B9600));
        QCOMPARE(now.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));

        QByteArray every(256, '\0');
        for (int i = 0; i < 256; ++i)
            every[i] = char(i);
        std::array<quint8, 256> in{};
        int n = 0;
        QCOMPARE(link.StartRead(in.data(), 256, &n), R::Pending);
        QVERIFY(pty.Send(every));
        QCOMPARE(pollUntilDone(link), 256);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(in.data()), 256), every);
        QCOMPARE(link.StartWrite(reinterpret_cast<const quint8*>(every.constData()), 256),
                 R::Pending);
        QCOMPARE(link.WaitWrite(), R::Completed);
        QByteArray out;
        for (int i = 0; i < 10 && out.size() < 256; ++i)
            out += pty.Receive(200);
        QCOMPARE(out, every);

        link.Close();
        QCOMPARE(::tcgetattr(pty.SlaveFd(), &now), 0);
        QVERIFY(sameSettings(now, found));
    }

    void readEndsOnlyOnAPauseOfTheLine_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("count");
        QTest::newRow("all there") << Script{{68, 0}} << 68;
        QTest::newRow("pieces within the interval")
            << Script{{20, 0}, {0, 30}, {20, 40}, {0, 45}, {28, 0}} << 68;
        // Held up between a look that found nothing and the look at the
        // clock, while the rest of the frame came in.
        QTest::newRow("held up while the rest came") << Script{{30, 0}, {0, 60}, {38, 0}} << 68;
        QTest::newRow("line paused") << Script{{30, 0}, {0, 60}, {0, 0}, {38, 0}} << 30;
        // The frame bound, 150 ms from the first byte.
        QTest::newRow("held up past the bound while the rest came")
            << Script{{30, 0}, {0, 200}, {38, 0}} << 68;
        QTest::newRow("trickling past the bound")
            << Script{{10, 40}, {10, 40}, {10, 40}, {10, 40}, {10, 40}, {10, 40}, {8, 0}} << 60;
    }

    void readEndsOnlyOnAPauseOfTheLine()
    {
        QFETCH(Script, script);
        QFETCH(int, count);
        qint64 nowNs = 1'000'000'000;
        int arrived = 0;
        int taken = 0;
        int looks = 0;
        ReadGather read(
            [&](quint8* into, qint64 most) {
                const Look look = looks < script.size() ? script[looks] : Look{0, 0};
                ++looks;
                arrived += look.arrived;
                const int n = static_cast<int>(qMin<qint64>(most, arrived - taken));
                std::memset(into, 0x5A, n);
                taken += n;
                nowNs += qint64(look.thenMs) * 1'000'000;
                return n;
            },
            [&] { return nowNs; });
        read.SetInterval(50);
        read.SetBound(150);
        std::array<quint8, 68> buffer{};
        read.Start(buffer.data(), 68);
        bool ended = false;
        for (int poll = 0; poll < 20 && !ended; ++poll)
            ended = read.Poll();
        QVERIFY(ended);
        QCOMPARE(read.Count(), count);
        QVERIFY(!read.Active());
    }

    void readsGatherFramesAndEndOnAPause()
    {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        // Bytes waiting before the port is prepared are dropped.
        QVERIFY(pty.Send(QByteArray(100, '\x99')));
        QTest::qWait(20);
        QtSerialLink link;
        QVERIFY(openPrepared(link, pty.SlavePath()));

        std::array<quint8, 68> buffer{};
        int n = -1;
        QCOMPARE(link.StartRead(buffer.data(), 68, &n), R::Pending);
        // A frame in two pieces.
        const QByteArray frame = pattern(68, 1);
        QVERIFY(pty.Send(frame.left(30)));
        QVERIFY(pty.Send(frame.mid(30)));
        QCOMPARE(pollUntilDone(link), 68);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer.data()), 68), frame);

        // Two frames already there: each read completes when it starts.
        const QByteArray two = pattern(68, 10) + pattern(68, 90);
        QVERIFY(pty.Send(two));
        QTest::qWait(20);
        QCOMPARE(link.StartRead(buffer.data(), 68, &n), R::Completed);
        QCOMPARE(n, 68);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer.data()), 68), two.left(68));
        QCOMPARE(link.StartRead(buffer.data(), 68, &n), R::Completed);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer.data()), 68), two.mid(68));

        // A frame cut short ends after the line stays quiet.
        QCOMPARE(link.StartRead(buffer.data(), 68, &n), R::Pending);
        QVERIFY(pty.Send(pattern(34, 5)));
        QCOMPARE(pollUntilDone(link), 34);
        QCOMPARE(link.BytesRead(), qint64(68 * 3 + 34));

        // Nothing at all: the read stays under way.
        QCOMPARE(link.StartRead(buffer.data(), 68, &n), R::Pending);
        QTest::qWait(80);
        QCOMPARE(link.PollRead(&n), R::Pending);
        link.Close();
    }

    void floodIsDiscardedWithinABound()
    {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        QtSerialLink link;
        QVERIFY(openPrepared(link, pty.SlavePath()));
        // The far end sends without a pause for as long as the discard runs.
        std::atomic<bool> done{false};
        std::thread flood([&] {
            const QByteArray chunk(4096, '\x55');
            while (!done)
                pty.Send(chunk);
        });
        QElapsedTimer t;
        t.start();
        while (link.Arrived() == 0 && !t.hasExpired(2000)) {
        }
        const int dropped = link.DiscardArrived();
        done = true;
        flood.join();
        QVERIFY(dropped > 0);
        QVERIFY(dropped <= QtSerialLink::kMostBuffered + 256);
    }

    void requestBytesGoOutOneByOne()
    {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        QtSerialLink link;
        QVERIFY(openPrepared(link, pty.SlavePath()));
        const quint8 request = 0;
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(link.StartWrite(&request, 1), R::Pending);
            // A second byte may not start before the first has gone.
            QCOMPARE(link.StartWrite(&request, 1), R::Failed);
            QCOMPARE(link.WaitWrite(), R::Completed);
        }
        QCOMPARE(pty.Receive(1000), QByteArray(20, '\0'));
        QCOMPARE(link.BytesWritten(), qint64(20));
    }

    void farEndGoneFailsTheWrite()
    {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        QtSerialLink link;
        QVERIFY(openPrepared(link, pty.SlavePath()));
        pty.CloseMaster();
        const quint8 request = 0;
        QCOMPARE(link.StartWrite(&request, 1), R::Failed);
        link.Close();
    }

    void byteThatNeverLeavesEndsTheWait()
    {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        // Output held back, as flow control on a real line would.
        QCOMPARE(::tcflow(pty.SlaveFd(), TCOOFF), 0);
        QtSerialLink link;
        QVERIFY(openPrepared(link, pty.SlavePath()));
        const quint8 request = 0;
        R started = link.StartWrite(&request, 1);
        R waited = R::Completed;
        // The line's buffer may take some bytes before it is full.
        for (int i = 0; i < 8192 && started == R::Pending && waited == R::Completed; ++i) {
            waited = link.WaitWrite();
            if (waited == R::Completed)
                started = link.StartWrite(&request, 1);
        }
        QCOMPARE(started, R::Pending);
        QCOMPARE(waited, R::PortTimeout);
        link.Close();
        ::tcflow(pty.SlaveFd(), TCOON);
    }
};

QTEST_GUILESS_MAIN(TestLinkQtSerial)
#include "test_link_qtserial.moc"
