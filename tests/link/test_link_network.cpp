// Downloads through every kind of port: the simulator's pseudo-terminal
// itself, the simulator listening on TCP, and ser2net bridging the
// pseudo-terminal raw and with RFC 2217; the failures of the network; and
// the RFC 2217 bytes against a scripted server.

#include "link/rfc2217link.h"
#include "tests/support/programrun.h"
#include "tests/support/ser2netprocess.h"
#include "tests/support/simprocess.h"
#include "tests/support/testdb.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct LogEvent
{
    quint32 counter;
    int userField;
    int button;
};

// Words made of XON, XOFF, line ends, 0x00 and 0xFF, the Telnet escape.
const QVector<LogEvent> kBinaryLog = {
    {0x0A0D11, 0x11, 0}, {0x0A1113, 0x13, 0},  {0x0D130A, 0x0A, 1},  {0x110A0D, 0x0D, 0},
    {0x1311FF, 0xFF, 0}, {0x13FF0D, 0x111, 1}, {0x3FFF11, 0x1FF, 1}, {0x3FFFFF, 0x100, 0}};

QVector<LogEvent> sampleLog()
{
    QVector<LogEvent> events;
    QFile f(QStringLiteral(ZQ_SOURCE_DIR "/sim/sample.log"));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return events;
    while (!f.atEnd()) {
        const QStringList parts = QString::fromUtf8(f.readLine())
                                      .section(QLatin1Char('#'), 0, 0)
                                      .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() >= 3)
            events.append({parts[0].toUInt(nullptr, 0), parts[1].toInt(nullptr, 0),
                           parts[2].toInt(nullptr, 0)});
    }
    return events;
}

enum class Route
{
    Pty,
    SimListen,
    SimListenFar, // behind a proxy that holds every chunk 25 ms each way
    Ser2NetRaw,
    Ser2NetRfc2217,
};

int listenOnLoopback(quint16* port, int backlog = 1)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    *port = ntohs(address.sin_port);
    return fd;
}

// A far network: one connection passed on to 127.0.0.1:target, every chunk
// held back 25 ms in each direction, cut and joined as it comes.
class SlowProxy
{
public:
    explicit SlowProxy(quint16 target) : m_target(target)
    {
        m_listen = listenOnLoopback(&m_port);
        if (m_listen >= 0)
            m_thread = std::thread([this] { Serve(); });
    }
    ~SlowProxy()
    {
        m_stop = true;
        ::shutdown(m_listen, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listen);
    }
    quint16 Port() const { return m_port; }

private:
    using Clock = std::chrono::steady_clock;
    struct Chunk
    {
        Clock::time_point due;
        QByteArray bytes;
    };

    void Serve()
    {
        const int client = ::accept(m_listen, nullptr, nullptr);
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(m_target);
        if (client >= 0 &&
            ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            Pass(client, server);
        ::close(client);
        ::close(server);
    }

    void Pass(int client, int server)
    {
        const int ends[2] = {client, server};
        std::deque<Chunk> queues[2]; // [0]: towards the server, [1]: towards the client
        while (!m_stop) {
            pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(fds, 2, 1) < 0)
                return;
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char buffer[4096];
                const ssize_t n = ::read(ends[i], buffer, sizeof buffer);
                if (n <= 0)
                    return;
                queues[i].push_back(
                    {Clock::now() + std::chrono::milliseconds(25), QByteArray(buffer, n)});
            }
            for (int i = 0; i < 2; ++i) {
                while (!queues[i].empty() && queues[i].front().due <= Clock::now()) {
                    const QByteArray& bytes = queues[i].front().bytes;
                    if (::write(ends[1 - i], bytes.constData(), size_t(bytes.size())) !=
                        bytes.size())
                        return;
                    queues[i].pop_front();
                }
            }
        }
    }

    quint16 m_target;
    quint16 m_port = 0;
    int m_listen = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The simulator and, where the route needs it, ser2net in front of it.
struct Receiver
{
    SimProcess sim;
    Ser2NetProcess ser2net;
    std::unique_ptr<SlowProxy> proxy;

    // The port name that reaches the simulator, empty if it could not be set up.
    QString Start(Route route, QStringList simArguments)
    {
        if (route == Route::SimListen || route == Route::SimListenFar)
            simArguments << QStringLiteral("--listen") << QStringLiteral("127.0.0.1:0");
        if (!sim.Start(simArguments))
            return {};
        switch (route) {
        case Route::Pty:
            return sim.PortPath();
        case Route::SimListen:
            return QStringLiteral("socket://") + sim.PortPath();
        case Route::SimListenFar:
            proxy = std::make_unique<SlowProxy>(sim.PortPath().section(':', -1).toUShort());
            return QStringLiteral("socket://127.0.0.1:%1").arg(proxy->Port());
        case Route::Ser2NetRaw:
        case Route::Ser2NetRfc2217:
            break;
        }
        const bool rfc2217 = route == Route::Ser2NetRfc2217;
        if (!ser2net.Start(sim.PortPath(), rfc2217))
            return {};
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("socket"))
            .arg(ser2net.Port());
    }
};

bool needsSer2Net(Route route)
{
    return route == Route::Ser2NetRaw || route == Route::Ser2NetRfc2217;
}

// One scripted connection: sends its greeting at once, then takes whatever
// the client sends until it closes; or, given a flood, sends that again and
// again, reading nothing, until the client has gone.
class ScriptedServer
{
public:
    explicit ScriptedServer(QByteArray greeting, QByteArray flood = {})
        : m_greeting(std::move(greeting)), m_flood(std::move(flood))
    {
        m_listen = listenOnLoopback(&m_port);
        if (m_listen < 0)
            return;
        m_thread = std::thread([this] { Serve(); });
    }
    ~ScriptedServer()
    {
        ::shutdown(m_listen, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listen);
    }
    quint16 Port() const { return m_port; }
    // What the client sent; only once it has closed.
    QByteArray Received()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_received;
    }
    // How much of the flood the client took; only once it has closed.
    qint64 Flooded()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_flooded;
    }

private:
    void Serve()
    {
        const int fd = ::accept(m_listen, nullptr, nullptr);
        if (fd < 0)
            return;
        if (::write(fd, m_greeting.constData(), size_t(m_greeting.size())) == m_greeting.size()) {
            char buffer[256];
            for (ssize_t n = 0; m_flood.isEmpty() && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                m_received.append(buffer, n);
            for (ssize_t n = 0;
                 !m_flood.isEmpty() &&
                 (n = ::send(fd, m_flood.constData(), size_t(m_flood.size()), MSG_NOSIGNAL)) > 0;)
                m_flooded += n;
        }
        ::close(fd);
    }

    QByteArray m_greeting;
    QByteArray m_flood;
    QByteArray m_received;
    qint64 m_flooded = 0;
    int m_listen = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

} // namespace

class TestLinkNetwork : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString WriteLog(const QVector<LogEvent>& log)
    {
        static int n = 0;
        QFile file(m_dir.filePath(QStringLiteral("log%1.txt").arg(++n)));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
            return {};
        for (const LogEvent& e : log)
            file.write(QStringLiteral("0x%1 %2 %3\n")
                           .arg(e.counter, 0, 16)
                           .arg(e.userField)
                           .arg(e.button)
                           .toLatin1());
        return file.fileName();
    }

    QString NewDatabase()
    {
        static int n = 0;
        const QString db = m_dir.filePath(QStringLiteral("events%1.db").arg(++n));
        return testdb::copyTemplate(db) ? db : QString();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // The same events are stored whichever way the receiver is reached.
    void sameRowsOnEveryKindOfPort_data()
    {
        QTest::addColumn<Route>("route");
        QTest::addColumn<bool>("binary");
        const std::pair<Route, const char*> routes[] = {
            {Route::Pty, "pty"},
            {Route::SimListen, "sim --listen"},
            {Route::SimListenFar, "sim --listen, 50 ms round trip"},
            {Route::Ser2NetRaw, "ser2net raw"},
            {Route::Ser2NetRfc2217, "ser2net rfc2217"}};
        for (const bool binary : {false, true}) {
            for (const auto& [route, name] : routes)
                QTest::addRow("%s, %s", name, binary ? "every byte value" : "sample log")
                    << route << binary;
        }
    }
    void sameRowsOnEveryKindOfPort()
    {
        QFETCH(Route, route);
        QFETCH(bool, binary);
        if (needsSer2Net(route) && Ser2NetProcess::Program().isEmpty())
            QSKIP("ser2net is not installed (scripts/install-deps.sh)");
        const QVector<LogEvent> log = binary ? kBinaryLog : sampleLog();
        QVERIFY(!log.isEmpty());
        Receiver receiver;
        // Paced as on a real line: a receiver answering at once would answer
        // the requests sent while its frame is on the way back.
        const QString port = receiver.Start(route, {QStringLiteral("--log"), WriteLog(log)});
        QVERIFY(!port.isEmpty());
        const QString db = NewDatabase();
        const testrun::Result r = testrun::Run({"read", db, "--port", port});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, QStringLiteral("Number of read events:  %1\n").arg(log.size()));
        QCOMPARE(r.exitCode, 0);
        const QVector<testdb::StoredEvent> stored = testdb::storedEvents(db);
        QCOMPARE(stored.size(), log.size());
        for (int i = 0; i < log.size(); ++i) {
            QCOMPARE(stored[i].timer, qint32(log[i].counter));
            QCOMPARE(stored[i].userNo, log[i].userField - 1);
            QCOMPARE(stored[i].button, QString::number(log[i].button));
        }
    }

    // The server goes away in the middle of the download: nothing is stored,
    // and the read may be tried again.
    void serverKilledMidwayStoresNothing_data()
    {
        QTest::addColumn<Route>("route");
        QTest::newRow("ser2net raw") << Route::Ser2NetRaw;
        QTest::newRow("ser2net rfc2217") << Route::Ser2NetRfc2217;
    }
    void serverKilledMidwayStoresNothing()
    {
        QFETCH(Route, route);
        if (Ser2NetProcess::Program().isEmpty())
            QSKIP("ser2net is not installed (scripts/install-deps.sh)");
        Receiver receiver;
        const QString port = receiver.Start(route, {"--generate", "2000", "--verbose"});
        QVERIFY(!port.isEmpty());
        const QString db = NewDatabase();
        QProcess reading;
        reading.start(QStringLiteral(ZQ_BIN_DIR "/zqreader-cli"), {"read", db, "--port", port});
        QVERIFY(receiver.sim.WaitForReport(QStringLiteral("frame 3:")));
        receiver.ser2net.Kill();
        const testrun::Result r = testrun::Finish(reading);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, QStringLiteral("Can't read from the serial port\n"
                                       "Reading from or writing to %1 failed.\n")
                            .arg(port));
        QCOMPARE(r.exitCode, 75);
        QCOMPARE(testdb::storedEvents(db).size(), 0);
    }

    // A port that cannot be reached is told within seconds, naming the host
    // and port, as a failure that may pass.
    void unreachablePortIsToldAtOnce_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("server"); // none, silent, or full: taking no connection
        QTest::addColumn<QString>("reason");
        QTest::newRow("refused") << "socket"
                                 << "none"
                                 << "%1 refused the connection";
        QTest::newRow("refused, rfc2217") << "rfc2217"
                                          << "none"
                                          << "%1 refused the connection";
        // Its queue of connections full, the system drops the request.
        QTest::newRow("request dropped") << "socket"
                                         << "full"
                                         << "%1 did not answer within 3 seconds";
        QTest::newRow("accepts, never answers")
            << "rfc2217"
            << "silent"
            << "%1 did not answer the request for COM port control (RFC 2217) within 3 seconds";
    }
    void unreachablePortIsToldAtOnce()
    {
        QFETCH(QString, scheme);
        QFETCH(QString, server);
        QFETCH(QString, reason);
        quint16 tcpPort = Ser2NetProcess::FreePort();
        std::vector<int> fds;
        const auto closeAll = qScopeGuard([&fds] {
            for (int fd : fds)
                ::close(fd);
        });
        if (server != QLatin1String("none")) {
            fds.push_back(listenOnLoopback(&tcpPort, server == QLatin1String("full") ? 0 : 1));
            QVERIFY(fds.back() >= 0);
        }
        // A backlog of 0 holds one connection that is never accepted.
        for (int i = 0; server == QLatin1String("full") && i < 2; ++i) {
            fds.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(tcpPort);
            ::connect(fds.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        const QString where = QStringLiteral("127.0.0.1:%1").arg(tcpPort);
        const QString db = NewDatabase();
        QElapsedTimer took;
        took.start();
        const testrun::Result r =
            testrun::Run({"read", db, "--port", scheme + QStringLiteral("://") + where});
        QVERIFY2(took.elapsed() < 5000, qPrintable(QString::number(took.elapsed())));
        QVERIFY2(r.err.startsWith(QStringLiteral("Error initializing serial port\n") +
                                  reason.arg(where)),
                 qPrintable(r.err));
        QCOMPARE(r.exitCode, 75);
        QCOMPARE(testdb::storedEvents(db).size(), 0);
    }

    // The exact bytes of the Telnet negotiation and of 0xFF in the data.
    void rfc2217Bytes_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QByteArray>("received");
        const QByteArray asked("\xFF\xFB\x00\xFF\xFD\x00\xFF\xFB\x2C", 9);
        QTest::newRow("declined") << QByteArray("\xFF\xFE\x2C", 3) << false << asked;
        // Echo offered and refused; binary both ways agreed; 0x01 0xFF 0x02
        // as data.
        QTest::newRow("accepted, 0xFF both ways")
            << QByteArray("\xFF\xFB\x01\xFF\xFD\x2C\xFF\xFB\x00\xFF\xFD\x00\x01\xFF\xFF\x02", 16)
            << true << asked + QByteArray("\xFF\xFE\x01\xFF\xFF", 5);
    }
    void rfc2217Bytes()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(bool, opens);
        ScriptedServer server(greeting);
        QVERIFY(server.Port() != 0);
        Rfc2217Link link;
        const QString where = QStringLiteral("127.0.0.1:%1").arg(server.Port());
        QCOMPARE(link.Open(QStringLiteral("rfc2217://") + where), opens);
        if (!opens) {
            QCOMPARE(link.OpenFailure().reason, PortOpenFailure::Reason::Declined);
            QCOMPARE(link.OpenFailure().text,
                     QStringLiteral("The serial device server at %1 declined COM port control "
                                    "(RFC 2217): set the port up for it there, or use socket:// "
                                    "for a raw TCP port.")
                         .arg(where));
        } else {
            link.SetReadIntervalTimeout(50);
            std::array<quint8, 3> data{};
            int got = 0;
            SerialLink::Result read = link.StartRead(data.data(), 3, &got);
            while (read == SerialLink::Result::Pending)
                read = link.PollRead(&got);
            QCOMPARE(read, SerialLink::Result::Completed);
            QCOMPARE(got, 3);
            QCOMPARE(data, (std::array<quint8, 3>{0x01, 0xFF, 0x02}));
            const quint8 escape = 0xFF;
            QCOMPARE(link.StartWrite(&escape, 1), SerialLink::Result::Pending);
            QCOMPARE(link.WaitWrite(), SerialLink::Result::Completed);
        }
        link.Close();
        QFETCH(QByteArray, received);
        QCOMPARE(server.Received().toHex(' '), received.toHex(' '));
    }

    // A server that floods the link with options to refuse, and reads none
    // of the refusals, is left once they pass the bound of what may wait to
    // be sent, as what comes in is bounded: not after the time-out, with
    // every refusal of its flood held in memory.
    void rfc2217FloodOfRequestsIsBounded()
    {
        QByteArray requests;
        for (char option = 1; option <= 40; ++option)
            requests += QByteArray("\xFF\xFB", 2) + option;
        ScriptedServer server({}, requests.repeated(100));
        QVERIFY(server.Port() != 0);
        Rfc2217Link link;
        const QString where = QStringLiteral("127.0.0.1:%1").arg(server.Port());
        QElapsedTimer took;
        took.start();
        QVERIFY(!link.Open(QStringLiteral("rfc2217://") + where));
        QVERIFY2(took.elapsed() < Rfc2217Link::kAnswerMilliseconds,
                 qPrintable(QString::number(took.elapsed())));
        QCOMPARE(link.OpenFailure().text,
                 QStringLiteral("%1 sent Telnet requests without reading the answers (more than "
                                "65536 bytes of them): is it a serial device server?")
                     .arg(where));
        link.Close();
        // What the system buffers each way, and no more.
        QVERIFY2(server.Flooded() < 64 << 20, qPrintable(QString::number(server.Flooded())));
    }
};

QTEST_GUILESS_MAIN(TestLinkNetwork)
#include "test_link_network.moc"
