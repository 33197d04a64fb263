// The built zqreader-sim on a real pseudo-terminal: frames over the line,
// sessions one after the other, commands on standard input, the link and a
// clean exit.
#include "simlog.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace zqsim;

namespace {

const QString simulator = QStringLiteral(ZQ_BIN_DIR "/zqreader-sim");

// The simulator as a child process; stopped with SIGTERM at the end.
class Sim
{
public:
    explicit Sim(const QStringList& arguments) { m_process.start(simulator, arguments); }
    ~Sim()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    // The first line of standard output: the pseudo-terminal's path.
    QString path()
    {
        QDeadlineTimer deadline(5000);
        while (!m_process.canReadLine() && !deadline.hasExpired()) {
            if (!m_process.waitForReadyRead(100) && m_process.state() == QProcess::NotRunning)
                break;
        }
        return QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }

    // Waits until standard error has shown `text`.
    bool waitForError(const QString& text)
    {
        QDeadlineTimer deadline(5000);
        while (!m_error.contains(text) && !deadline.hasExpired()) {
            m_process.waitForReadyRead(50);
            m_error += QString::fromLocal8Bit(m_process.readAllStandardError());
            if (m_process.state() == QProcess::NotRunning)
                break;
        }
        return m_error.contains(text);
    }
    QString error() const { return m_error; }

    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_error;
};

// Reads up to 68 bytes, as the host does: the read ends early after a silence.
// Counts the pieces the bytes came in.
QByteArray readFrame(QSerialPort& port, int* pieces)
{
    QByteArray frame;
    QDeadlineTimer deadline(3000);
    while (frame.size() < FrameSize && !deadline.hasExpired()) {
        if (port.bytesAvailable() == 0 && !port.waitForReadyRead(500))
            break;
        frame += port.read(FrameSize - frame.size());
        ++*pieces;
    }
    return frame;
}

QByteArray request(QSerialPort& port, int* pieces = nullptr)
{
    const char zero = 0;
    if (port.write(&zero, 1) != 1 || !port.waitForBytesWritten(1000))
        return {};
    int count = 0;
    return readFrame(port, pieces ? pieces : &count);
}

bool openPort(QSerialPort& port, const QString& path)
{
    port.setPortName(path);
    if (!port.open(QIODevice::ReadWrite))
        return false;
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.clear(QSerialPort::Input); // as the host does after opening
    return true;
}

quint32 word(const QByteArray& frame, int index)
{
    return qFromLittleEndian<quint32>(frame.constData() + 4 * index);
}

QString writeLog(const QTemporaryDir& dir, const QList<Event>& events)
{
    const QString path = dir.filePath(QStringLiteral("test.log"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return {};
    file.write("# written by the test\n");
    for (const Event& event : events)
        file.write(QStringLiteral("%1 %2 %3\n")
                       .arg(event.counter)
                       .arg(event.user)
                       .arg(event.button ? 1 : 0)
                       .toLatin1());
    return path;
}

QList<Event> testLog()
{
    QList<Event> log;
    for (int i = 0; i < 20; ++i)
        log.append({quint32(0x1000 + 7 * i), (i * 37) % 512 + 1, i % 4 == 0});
    return log;
}

} // namespace

class TestSimPty : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sessionsOverThePort();
    void pacedFrameArrivesWhole();
    void heldUpSimulatorKeepsTheSession();
    void addedEventIsNewestInNextSession();
    void junkWaitsOnTheLine();
    void linkAndCleanExit();
    void badLogFileIsReported();
    void helpDocumentsEveryOption();
};

void TestSimPty::sessionsOverThePort()
{
    QTemporaryDir dir;
    const QList<Event> log = testLog();
    const QString logPath = writeLog(dir, log);
    Sim sim({QStringLiteral("--pace"), QStringLiteral("0"), QStringLiteral("--log"), logPath,
             QStringLiteral("--counter"), QStringLiteral("0x2000")});
    const QString path = sim.path();
    QVERIFY2(path.startsWith(QLatin1Char('/')), qPrintable(sim.error()));

    for (int session = 0; session < 2; ++session) {
        if (session > 0)
            QThread::msleep(300); // the port is free; the receiver sees a pause
        QSerialPort port;
        QVERIFY2(openPort(port, path), qPrintable(port.errorString()));

        const QByteArray first = request(port);
        QCOMPARE(first.size(), 68);
        QCOMPARE(quint8(first[0]), quint8(0));
        const quint32 counter = word(first, 0) >> 8;
        QVERIFY2(counter >= 0x2000 && counter <= 0x2005, qPrintable(QString::number(counter, 16)));
        for (int i = 0; i < 16; ++i)
            QCOMPARE(word(first, 1 + i), encodeEvent(log[19 - i]));

        const QByteArray second = request(port);
        QCOMPARE(second.size(), 68);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(word(second, 1 + i), encodeEvent(log[3 - i]));
        QCOMPARE(second.mid(20), QByteArray(48, '\0'));
    }
    QVERIFY(sim.waitForError(QStringLiteral("session 2 started")));
}

void TestSimPty::pacedFrameArrivesWhole()
{
    // Default pace: the frame comes in one piece, as from a real receiver, so
    // that no pause inside it can end the host's read early.
    Sim sim({QStringLiteral("--log"), QStringLiteral(ZQ_SOURCE_DIR "/sim/sample.log")});
    const QString path = sim.path();
    QVERIFY2(!path.isEmpty(), qPrintable(sim.error()));
    const ParseResult sample = readLogFile(QStringLiteral(ZQ_SOURCE_DIR "/sim/sample.log"));
    QVERIFY(sample.ok());

    QSerialPort port;
    QVERIFY2(openPort(port, path), qPrintable(port.errorString()));
    int pieces = 0;
    const QByteArray frame = request(port, &pieces);
    QCOMPARE(frame.size(), 68);
    QVERIFY2(pieces <= 2, qPrintable(QString::number(pieces)));
    QCOMPARE(word(frame, 0) >> 8, (sample.events.last().counter + 30) & CounterMask);
    QCOMPARE(word(frame, 1), encodeEvent(sample.events.last()));
}

void TestSimPty::heldUpSimulatorKeepsTheSession()
{
    QTemporaryDir dir;
    const QList<Event> log = testLog();
    Sim sim({QStringLiteral("--pace"), QStringLiteral("0"), QStringLiteral("--log"),
             writeLog(dir, log)});
    const QString path = sim.path();
    QVERIFY2(!path.isEmpty(), qPrintable(sim.error()));
    QSerialPort port;
    QVERIFY2(openPort(port, path), qPrintable(port.errorString()));
    QCOMPARE(word(request(port), 1), encodeEvent(log[19]));

    // The host goes on asking at the line's pace while the simulator is not
    // running; when it runs again, the requests are waiting: no pause. The
    // stop is longer than a session's gap; the requests would take longer
    // still on the line, which leaves half a second for a busy machine to
    // resume the simulator.
    const pid_t pid = pid_t(sim.process().processId());
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    QThread::msleep(300);
    QVERIFY(port.write(QByteArray(512, '\0')) == 512 && port.waitForBytesWritten(1000));
    QCOMPARE(::kill(pid, SIGCONT), 0);
    int pieces = 0;
    const QByteArray frame = readFrame(port, &pieces);
    QCOMPARE(frame.size(), 68);
    QCOMPARE(word(frame, 1), encodeEvent(log[3]));
}

void TestSimPty::addedEventIsNewestInNextSession()
{
    QTemporaryDir dir;
    const QList<Event> log = testLog();
    Sim sim({QStringLiteral("--pace"), QStringLiteral("0"), QStringLiteral("--log"),
             writeLog(dir, log), QStringLiteral("--counter"), QStringLiteral("0x3000")});
    const QString path = sim.path();
    QVERIFY2(!path.isEmpty(), qPrintable(sim.error()));

    sim.process().write("add 300 1\n");
    QVERIFY2(sim.waitForError(QStringLiteral("added:")), qPrintable(sim.error()));

    QSerialPort port;
    QVERIFY2(openPort(port, path), qPrintable(port.errorString()));
    const QByteArray frame = request(port);
    QCOMPARE(frame.size(), 68);
    const Event added = decodeEvent(word(frame, 1));
    QCOMPARE(added.user, 300);
    QVERIFY(added.button);
    QVERIFY(added.counter >= 0x3000 && added.counter <= (word(frame, 0) >> 8));
    QCOMPARE(word(frame, 2), encodeEvent(log.last()));

    sim.process().write("add 512\n");
    QVERIFY(sim.waitForError(QStringLiteral("error: USER_FIELD must be 0 to 511")));
}

void TestSimPty::junkWaitsOnTheLine()
{
    Sim sim({QStringLiteral("--pace"), QStringLiteral("0"), QStringLiteral("--junk"),
             QStringLiteral("7"), QStringLiteral("--generate"), QStringLiteral("30")});
    const QString path = sim.path();
    QVERIFY2(!path.isEmpty(), qPrintable(sim.error()));

    // Opened without purging, the line holds the junk written at start.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios tio{};
    QCOMPARE(::tcgetattr(fd, &tio), 0);
    ::cfmakeraw(&tio);
    QCOMPARE(::tcsetattr(fd, TCSANOW, &tio), 0);
    QByteArray junk;
    pollfd pfd{fd, POLLIN, 0};
    while (junk.size() < 7 && ::poll(&pfd, 1, 2000) == 1) {
        char buffer[16];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        junk.append(buffer, n);
    }
    QCOMPARE(junk.size(), 7);
    QVERIFY(!junk.contains('\0'));

    // After a purge, requests get clean frames.
    QCOMPARE(::tcflush(fd, TCIFLUSH), 0);
    const char zero = 0;
    QCOMPARE(::write(fd, &zero, 1), ssize_t(1));
    QByteArray frame;
    while (frame.size() < FrameSize && ::poll(&pfd, 1, 2000) == 1) {
        char buffer[FrameSize];
        const ssize_t n = ::read(fd, buffer, size_t(FrameSize - frame.size()));
        if (n <= 0)
            break;
        frame.append(buffer, n);
    }
    ::close(fd);
    QCOMPARE(frame.size(), 68);
    QCOMPARE(quint8(frame[0]), quint8(0));
    QVERIFY((word(frame, 0) >> 8) - 0x100000u <= 5u);
    QCOMPARE(word(frame, 1), encodeEvent(generateLog(30, 1, 0x100000).last()));
}

void TestSimPty::linkAndCleanExit()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("receiver"));
    QFile::link(QStringLiteral("/nonexistent"), link); // stale link of a killed run
    Sim sim({QStringLiteral("--pace"), QStringLiteral("0"), QStringLiteral("--link"), link});
    const QString path = sim.path();
    QVERIFY2(!path.isEmpty(), qPrintable(sim.error()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), path);

    // End of standard input is harmless.
    sim.process().closeWriteChannel();
    QSerialPort port;
    QVERIFY2(openPort(port, link), qPrintable(port.errorString()));
    const QByteArray frame = request(port);
    QCOMPARE(frame.size(), 68);
    QCOMPARE(word(frame, 1), EndWord); // empty log
    port.close();

    sim.process().terminate();
    QVERIFY(sim.process().waitForFinished(5000));
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSimPty::badLogFileIsReported()
{
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("bad.log"));
    QFile file(logPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("10 1 0\n11 600 0\n");
    file.close();

    QProcess process;
    process.start(simulator, {QStringLiteral("--log"), logPath});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(error.contains(logPath + QStringLiteral(": line 2: USER_FIELD 600")),
             qPrintable(error));
}

void TestSimPty::helpDocumentsEveryOption()
{
    QProcess process;
    process.start(simulator, {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(process.readAllStandardOutput());
    const char* const expected[] = {
        "--log",          "--generate",      "--seed",
        "--counter",      "--link",          "--pace",
        "--status",       "--silence-after", "--short-frame",
        "--short-length", "--junk",          "--no-end-word",
        "--lose-byte",    "--double-byte",   "--verbose",
        "add USER_FIELD", "add-random N",    "COUNTER USER_FIELD BUTTON"};
    for (const char* text : expected)
        QVERIFY2(help.contains(QLatin1String(text)), text);
}

QTEST_GUILESS_MAIN(TestSimPty)
#include "test_sim_pty.moc"
