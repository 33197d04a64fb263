// QtSerialLink on a real pseudo-terminal, the far end played by the test.

#include "link/qtseriallink.h"
#include "tests/link/ptypair.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>
#include <array>

using R = SerialLink::Result;

namespace {

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

class TestLinkQtSerial : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openFailuresSayWhy()
    {
        QtSerialLink link;
        QVERIFY(!link.Open(QStringLiteral("ttyZQ404")));
        QVERIFY2(link.OpenFailureReason().contains(QStringLiteral("no serial port")),
                 qPrintable(link.OpenFailureReason()));
        QVERIFY(link.OpenFailureReason().contains(QStringLiteral("/dev/ttyZQ404")));

        QVERIFY(!link.Open(QString()));
        QVERIFY2(link.OpenFailureReason().contains(QStringLiteral("No serial port is chosen")),
                 qPrintable(link.OpenFailureReason()));

        // Held by another program: refused, and usable again once let go.
        PtyPair pty;
        QVERIFY(pty.IsValid());
        {
            QSerialPort other;
            other.setPortName(pty.SlavePath());
            QVERIFY(other.open(QIODevice::ReadWrite));
            QVERIFY(!link.Open(pty.SlavePath()));
            QCOMPARE(
                link.OpenFailureReason(),
                QStringLiteral("The port %1 is held by another program.").arg(pty.SlavePath()));
        }
        QVERIFY(link.Open(pty.SlavePath()));
        // While this link holds it, nobody else gets it.
        QSerialPort other;
        other.setPortName(pty.SlavePath());
        QVERIFY(!other.open(QIODevice::ReadWrite));
        link.Close();
        QVERIFY(other.open(QIODevice::ReadWrite));
    }

    void handshakingFoundOnThePortIsKept()
    {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        termios set{};
        QCOMPARE(::tcgetattr(pty.SlaveFd(), &set), 0);
        set.c_cflag |= CRTSCTS;
        set.c_iflag |= IXON | IXOFF;
        QCOMPARE(::tcsetattr(pty.SlaveFd(), TCSANOW, &set), 0);
        termios check{};
        ::tcgetattr(pty.SlaveFd(), &check);
        if (!(check.c_cflag & CRTSCTS))
            QSKIP("this pseudo-terminal does not keep hardware handshaking");

        QtSerialLink link;
        QVERIFY(link.Open(pty.SlavePath()));
        link.SetLineFormat();
        termios now{};
        QCOMPARE(::tcgetattr(pty.SlaveFd(), &now), 0);
        QVERIFY(now.c_cflag & CRTSCTS);
        QVERIFY(now.c_iflag & IXON);
        QVERIFY(now.c_iflag & IXOFF);
        QCOMPARE(::cfgetospeed(&now), speed_t(B9600));
        QCOMPARE(now.c_cflag & CSIZE, tcflag_t(CS8));
        QVERIFY(!(now.c_cflag & PARENB));
        QVERIFY(!(now.c_cflag & CSTOPB));
        link.Close();

        // A port without handshaking stays without.
        set.c_cflag &= ~tcflag_t(CRTSCTS);
        set.c_iflag &= ~tcflag_t(IXON | IXOFF);
        QCOMPARE(::tcsetattr(pty.SlaveFd(), TCSANOW, &set), 0);
        QVERIFY(link.Open(pty.SlavePath()));
        ::tcgetattr(pty.SlaveFd(), &now);
        QVERIFY(!(now.c_cflag & CRTSCTS));
        QVERIFY(!(now.c_iflag & (IXON | IXOFF)));
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
