// Downloads from the simulated receiver through a real pseudo-terminal, in
// this process and through zqreader-cli. The simulator runs unpaced.

#include "db/record/ctime.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "download/readevents.h"
#include "download/services.h"
#include "link/portlist.h"
#include "link/qtseriallink.h"
#include "tests/support/programrun.h"
#include "tests/support/simprocess.h"
#include "tests/support/testdb.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kSampleLog = QStringLiteral(ZQ_SOURCE_DIR "/sim/sample.log");

struct LogEvent
{
    quint32 counter;
    int userField;
    int button;
};

// The sample log's events, oldest first.
QVector<LogEvent> sampleEvents()
{
    QVector<LogEvent> events;
    QFile f(kSampleLog);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return events;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).section(QLatin1Char('#'), 0, 0);
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() < 3)
            continue;
        events.append(
            {parts[0].toUInt(nullptr, 0), parts[1].toInt(nullptr, 0), parts[2].toInt(nullptr, 0)});
    }
    return events;
}

using Row = testdb::StoredEvent;
const auto rows = testdb::storedEvents;

class CountingView : public CDocView
{
public:
    void OnUpdate() override
    {
        ++updates;
        listed = g_pSet ? g_pSet->CountRows() : -1;
    }
    int updates = 0;
    qint64 listed = -1;
};

// A database file and the document on it.
struct Desk
{
    QTemporaryDir dir;
    QString db = dir.filePath(QStringLiteral("events.db"));
    testdb::RecordingMessages messages;
    CountingView view;
    CZq6Doc doc{&messages};

    bool open()
    {
        if (!dir.isValid() || !testdb::copyTemplate(db) || !doc.OnOpenDocument(db))
            return false;
        doc.AddView(&view);
        return true;
    }

    // One download from the named port with the real link and clock; returns
    // the message shown.
    UserMessage read(const QString& port)
    {
        messages.messages.clear();
        QtSerialLink link;
        SystemClock clock;
        DownloadServices services(link, clock, nullptr, PortName::Parse(port));
        ReadEvents(doc, services);
        return messages.messages.size() == 1 ? messages.messages.first() : UserMessage{};
    }

    int stored() const { return static_cast<int>(rows(db).size()); }
};

// The simulated receiver and a new database file for zqreader-cli to read
// it into.
struct CliRead
{
    SimProcess sim;
    QTemporaryDir dir;
    QString db;

    bool start(const QStringList& simArguments, const QString& name = QStringLiteral("cli.db"))
    {
        db = dir.filePath(name);
        return sim.Start(simArguments) && testdb::copyTemplate(db);
    }
};

using Run = testrun::Result;

Run cli(const QStringList& arguments, const QProcessEnvironment& env = {},
        const QStringList& prefix = {})
{
    return testrun::Run(arguments, {.env = env, .prefix = prefix});
}

} // namespace

class TestDownloadEndToEnd : public QObject
{
    Q_OBJECT

    static constexpr int kNotRun = -3;

    // Runs zqreader-cli as user nobody, who may enter dir; skips the test
    // where that cannot be done (root and setpriv are needed).
    Run AsAnotherUser(const QTemporaryDir& dir, const QStringList& arguments)
    {
        if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            return {kNotRun, {}, {}};
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        Run r =
            cli(arguments, {},
                {QStringLiteral("setpriv"), "--reuid=65534", "--regid=65534", "--clear-groups"});
        if (r.exitCode == 127 && r.err.contains(QStringLiteral("cannot")))
            r.exitCode = kNotRun;
        return r;
    }

private Q_SLOTS:
    void firstDownloadThenOnlyTheNewEvents()
    {
        const QVector<LogEvent> log = sampleEvents();
        QCOMPARE(log.size(), 40);
        SimProcess sim;
        const qint64 started = QDateTime::currentSecsSinceEpoch();
        QVERIFY(sim.Start(
            {QStringLiteral("--log"), kSampleLog, QStringLiteral("--pace"), QStringLiteral("0")}));
        const qint64 running = QDateTime::currentSecsSinceEpoch();
        Desk desk;
        QVERIFY(desk.open());

        UserMessage m = desk.read(sim.PortPath());
        QCOMPARE(m.text, QStringLiteral("Number of read events:  40"));
        QCOMPARE(m.Caption(), QStringLiteral("OK"));
        QVERIFY(m.taskModal);
        QVector<Row> stored = rows(desk.db);
        QCOMPARE(stored.size(), 40);
        for (int i = 0; i < 40; ++i) {
            QCOMPARE(stored[i].timer, qint32(log[i].counter));
            QCOMPARE(stored[i].userNo, log[i].userField - 1);
            QCOMPARE(stored[i].button, QString::number(log[i].button));
        }
        // The simulator's counter starts 30 s after its newest event and runs
        // with the host's clock, so the newest event is dated 30 s before the
        // simulator started; the others by their counter distance to it.
        const qint64 newest = stored.last().date;
        QVERIFY2(newest >= started - 31 && newest <= running - 29,
                 qPrintable(QStringLiteral("%1 not near %2").arg(newest).arg(started - 30)));
        for (int i = 0; i < 40; ++i) {
            const qint64 back = (log.last().counter - log[i].counter) & 0x3FFFFF;
            QCOMPARE(stored[i].date, newest - back);
        }
        QCOMPARE(desk.view.updates, 1);
        QCOMPARE(desk.view.listed, qint64(40));

        QVERIFY(sim.Command(QStringLiteral("add 12 1"), QStringLiteral("41 events in the log")));
        QVERIFY(sim.Command(QStringLiteral("add 7"), QStringLiteral("42 events in the log")));
        m = desk.read(sim.PortPath());
        QCOMPARE(m.text, QStringLiteral("Number of read events:  2"));
        stored = rows(desk.db);
        QCOMPARE(stored.size(), 42);
        QCOMPARE(stored[40].userNo, 11);
        QCOMPARE(stored[40].button, QStringLiteral("1"));
        QCOMPARE(stored[41].userNo, 6);
        QCOMPARE(stored[41].button, QStringLiteral("0"));
        QVERIFY(qAbs(stored[41].date - QDateTime::currentSecsSinceEpoch()) <= 5);
        QCOMPARE(desk.view.listed, qint64(42));

        m = desk.read(sim.PortPath());
        QCOMPARE(m.text, QStringLiteral("There are no more events to read"));
        QCOMPARE(m.Caption(), QStringLiteral("OK"));
        QCOMPARE(desk.stored(), 42);
        QCOMPARE(desk.view.updates, 3);
    }

    // The port set up as a terminal, with flow control and translation both
    // ways: event words made of XON, XOFF, line ends and 0xFF still come
    // through exactly.
    void binaryWordsOnATerminalPort()
    {
        const QVector<LogEvent> log = {
            {0x0A0D11, 0x11, 0}, {0x0A1113, 0x13, 0},  {0x0D130A, 0x0A, 1}, {0x110A0D, 0x0D, 0},
            {0x1311FF, 0xFF, 0}, {0x13FF0D, 0x111, 1}, {0x3FFF11, 0x1FF, 1}};
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("binary.log")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        for (const LogEvent& e : log)
            file.write(QStringLiteral("0x%1 %2 %3\n")
                           .arg(e.counter, 0, 16)
                           .arg(e.userField)
                           .arg(e.button)
                           .toLatin1());
        file.close();
        SimProcess sim;
        QVERIFY(sim.Start({QStringLiteral("--log"), file.fileName(), "--pace", "0"}));

        constexpr tcflag_t cookedIn = IXON | IXOFF | ICRNL | INLCR | ISTRIP;
        constexpr tcflag_t cookedOut = OPOST | ONLCR;
        const int fd =
            ::open(QFile::encodeName(sim.PortPath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios t{};
        QCOMPARE(::tcgetattr(fd, &t), 0);
        t.c_iflag |= cookedIn;
        t.c_oflag |= cookedOut;
        QCOMPARE(::tcsetattr(fd, TCSANOW, &t), 0);
        termios set{};
        QCOMPARE(::tcgetattr(fd, &set), 0);
        ::close(fd); // the simulator's own descriptor keeps the settings
        QCOMPARE(set.c_iflag & cookedIn, cookedIn);
        QCOMPARE(set.c_oflag & cookedOut, cookedOut);

        const QString db = dir.filePath(QStringLiteral("binary.db"));
        QVERIFY(testdb::copyTemplate(db));
        const Run r = cli({"read", db, "--port", sim.PortPath()});
        QCOMPARE(r.out, QStringLiteral("Number of read events:  7\n"));
        const QVector<Row> stored = rows(db);
        QCOMPARE(stored.size(), log.size());
        for (int i = 0; i < log.size(); ++i) {
            QCOMPARE(stored[i].timer, qint32(log[i].counter));
            QCOMPARE(stored[i].userNo, log[i].userField - 1);
            QCOMPARE(stored[i].button, QString::number(log[i].button));
        }
    }

    void fullLogStopsAtTheLimit()
    {
        SimProcess sim;
        QVERIFY(sim.Start({QStringLiteral("--generate"), QStringLiteral("7000"),
                           QStringLiteral("--pace"), QStringLiteral("0")}));
        Desk desk;
        QVERIFY(desk.open());
        QCOMPARE(desk.read(sim.PortPath()).text, QStringLiteral("Number of read events:  6144"));
        QCOMPARE(desk.stored(), 6144);
        // The newest was stored last, so the next download stops at once.
        QCOMPARE(desk.read(sim.PortPath()).text,
                 QStringLiteral("There are no more events to read"));
    }

    void receiverFaultsStoreNothing_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QString>("text");
        QTest::newRow("status byte") << QStringList{"--status", "1"} << "Communication error";
        QTest::newRow("short third frame")
            << QStringList{"--short-frame", "3"} << "Communication error";
        QTest::newRow("short first frame")
            << QStringList{"--short-frame", "1", "--short-length", "67"} << "Communication error";
        // 200 events: the 13th frame is the last.
        QTest::newRow("byte lost in frame 3")
            << QStringList{"--lose-byte", "3"} << "Communication error";
        QTest::newRow("byte doubled in frame 3 at 9600 baud")
            << QStringList{"--double-byte", "3", "--pace", "9600"} << "Communication error";
        QTest::newRow("byte doubled in the last frame")
            << QStringList{"--double-byte", "13"} << "Communication error";
    }

    void receiverFaultsStoreNothing()
    {
        QFETCH(QStringList, faults);
        QFETCH(QString, text);
        SimProcess sim;
        QVERIFY(sim.Start(QStringList{"--generate", "200", "--pace", "0"} + faults));
        Desk desk;
        QVERIFY(desk.open());
        const UserMessage m = desk.read(sim.PortPath());
        QCOMPARE(m.text, text);
        QCOMPARE(m.Caption(), QStringLiteral("Error"));
        QVERIFY(m.taskModal);
        QCOMPARE(desk.stored(), 0);
        QCOMPARE(desk.view.updates, 1);
    }

    void silenceIsOutOfTime()
    {
        SimProcess sim;
        QVERIFY(sim.Start({"--generate", "200", "--pace", "0", "--silence-after", "3"}));
        Desk desk;
        QVERIFY(desk.open());
        const UserMessage m = desk.read(sim.PortPath());
        QCOMPARE(m.text, QStringLiteral("Out of time"));
        QCOMPARE(m.Caption(), QStringLiteral("Error"));
        QCOMPARE(desk.stored(), 0);
    }

    void junkBeforeTheSessionIsDropped()
    {
        SimProcess sim;
        QVERIFY(sim.Start({QStringLiteral("--log"), kSampleLog, "--pace", "0", "--junk", "64"}));
        Desk desk;
        QVERIFY(desk.open());
        QCOMPARE(desk.read(sim.PortPath()).text, QStringLiteral("Number of read events:  40"));
        QVERIFY(sim.Command(QStringLiteral("add 3"), QStringLiteral("41 events in the log")));
        QTest::qWait(400); // the junk after the session is on the line
        QCOMPARE(desk.read(sim.PortPath()).text, QStringLiteral("Number of read events:  1"));
        QCOMPARE(rows(desk.db).last().userNo, 2);
    }

    void portThatCannotBeOpened()
    {
        SimProcess sim;
        QVERIFY(sim.Start({QStringLiteral("--log"), kSampleLog, "--pace", "0"}));
        Desk desk;
        QVERIFY(desk.open());

        UserMessage m = desk.read(QStringLiteral("ttyZQ404"));
        QCOMPARE(m.text, QStringLiteral("Error initializing serial port"));
        QCOMPARE(m.Caption(), QStringLiteral("Error"));
        QVERIFY(!m.taskModal);
        QVERIFY2(m.detail.contains(QStringLiteral("There is no serial port ttyZQ404")),
                 qPrintable(m.detail));
        QCOMPARE(desk.view.updates, 0);

        {
            QSerialPort other;
            other.setPortName(sim.PortPath());
            QVERIFY(other.open(QIODevice::ReadWrite));
            m = desk.read(sim.PortPath());
            QCOMPARE(m.text, QStringLiteral("Error initializing serial port"));
            QCOMPARE(m.detail,
                     QStringLiteral("The port %1 is held by another program.").arg(sim.PortPath()));
            QCOMPARE(desk.view.updates, 0);
        }
        QCOMPARE(desk.stored(), 0);
        QCOMPARE(desk.read(sim.PortPath()).text, QStringLiteral("Number of read events:  40"));
    }

    void commandLineRead()
    {
        CliRead setup;
        QVERIFY(setup.start({QStringLiteral("--log"), kSampleLog, "--pace", "0"}));
        [[maybe_unused]] auto& [sim, dir, db] = setup;

        Run r = cli({"read", db, "--port", sim.PortPath()});
        QCOMPARE(r.out, QStringLiteral("Number of read events:  40\n"));
        QCOMPARE(r.err, QString()); // no progress: stderr is no terminal
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(cli({"list", db}).out.count(QLatin1Char('\n')), 40);

        r = cli({"read", db, "--port", sim.PortPath()});
        QCOMPARE(r.out, QStringLiteral("There are no more events to read\n"));
        QCOMPARE(r.exitCode, 0);

        // The stored port setting when no --port is given.
        QVERIFY(sim.Command(QStringLiteral("add 5 1"), QStringLiteral("41 events in the log")));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("config/Korvo"))));
        QFile conf(dir.filePath(QStringLiteral("config/Korvo/Zq6.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[Settings]\nCOM=" + sim.PortPath().toLocal8Bit() + "\n");
        conf.close();
        r = cli({"read", db}, env);
        QCOMPARE(r.out, QStringLiteral("Number of read events:  1\n"));
        QCOMPARE(r.exitCode, 0);

        r = cli({"read", db, "--port", "ttyZQ404"});
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, QStringLiteral("Error initializing serial port\n"
                                       "There is no serial port ttyZQ404 (/dev/ttyZQ404 does not "
                                       "exist).\n"));
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(rows(db).size(), 41);
    }

    // Another program locks the file in the pause between the commit and the
    // reading of the list: the download stands, with a warning.
    void commandLineReadStandsWhenTheListCannotBeReadAgain()
    {
        CliRead setup;
        QVERIFY(setup.start({QStringLiteral("--log"), kSampleLog, "--pace", "0"}));
        [[maybe_unused]] auto& [sim, dir, db] = setup;
        QSqlDatabase other = testdb::connection(QStringLiteral("locker"), db);
        other.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        QVERIFY(other.open());
        const auto removeOther = qScopeGuard([&] {
            other.close();
            other = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("locker"));
        });

        QProcess reading;
        reading.start(QStringLiteral(ZQ_BIN_DIR "/zqreader-cli"),
                      {"read", db, "--port", sim.PortPath(), "--log-line"});
        QSqlQuery q(other);
        for (QDeadlineTimer deadline(30000); !deadline.hasExpired(); QTest::qWait(5)) {
            if (q.exec(QStringLiteral("SELECT count(*) FROM EVENTS")) && q.next() &&
                q.value(0).toInt() == 40)
                break;
        }
        q.finish();
        QVERIFY(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        if (reading.state() == QProcess::NotRunning)
            QSKIP("the read ended before the lock could be taken");
        const Run r = testrun::Finish(reading);
        QVERIFY(q.exec(QStringLiteral("ROLLBACK")));
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QStringLiteral(": 40 events downloaded; warning: The list could "
                                               "not be read again: The events of this download "
                                               "are stored. database is locked")),
                 qPrintable(r.out));
        QCOMPARE(rows(db).size(), 40);
    }

    // The outcome stands, and a warning follows it on standard error and in
    // the log line: rows a trigger dropped; a newest stored event that the
    // receiver does not hold (another program stored it), so that its whole
    // log is stored again. The next read stops at the newest event again.
    void commandLineReadWarns_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("warning");
        QTest::newRow("rows dropped by a trigger")
            << "CREATE TRIGGER drop6 BEFORE INSERT ON EVENTS WHEN NEW.USER_NO = 6 BEGIN SELECT "
               "RAISE(IGNORE); END"
            << 31 << "Only 31 of the 40 events read were stored: the database dropped 9 of them.";
        QTest::newRow("newest stored event not on the receiver")
            << "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES (77, '2024-01-01 "
               "10:00:00', 8, '0')"
            << 41
            << "The newest stored event was not found on the receiver: 40 events stored, some "
               "may be stored twice.";
    }

    void commandLineReadWarns()
    {
        QFETCH(QString, setup);
        QFETCH(int, stored);
        QFETCH(QString, warning);
        CliRead read;
        QVERIFY(read.start({QStringLiteral("--log"), kSampleLog, "--pace", "0"}));
        const QString logged = read.dir.filePath(QStringLiteral("logged.db"));
        QVERIFY(testdb::copyTemplate(logged));
        for (const QString& db : {read.db, logged})
            QCOMPARE(testdb::exec(db, {setup}), QString());
        const QString port = read.sim.PortPath();

        Run r = cli({"read", read.db, "--port", port});
        QCOMPARE(r.out, QStringLiteral("Number of read events:  40\n"));
        QCOMPARE(r.err, warning + QLatin1Char('\n'));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(rows(read.db).size(), stored);
        r = cli({"read", read.db, "--port", port});
        QCOMPARE(r.out, QStringLiteral("There are no more events to read\n"));
        QCOMPARE(r.err, QString());

        r = cli({"read", logged, "--port", port, "--log-line"});
        QCOMPARE(r.out, QStringLiteral("zqreader-cli read: %1 from %2: 40 events downloaded; "
                                       "warning: %3\n")
                            .arg(logged, port, warning));
        QCOMPARE(r.err, QString());
        QCOMPARE(r.exitCode, 0);
    }

    void commandLineReadFailure()
    {
        CliRead setup;
        QVERIFY(setup.start({"--generate", "50", "--pace", "0", "--status", "2"}));
        [[maybe_unused]] auto& [sim, dir, db] = setup;
        const Run r = cli({"read", db, "--port", sim.PortPath()});
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err,
                 QStringLiteral("Communication error\nThe receiver on %1 reported an error or "
                                "sent a broken frame.\n")
                     .arg(sim.PortPath()));
        QCOMPARE(r.exitCode, 75); // worth another try
        QCOMPARE(rows(db).size(), 0);
    }

    // zqreader-cli run by a user who may not use the port, or not write the
    // database: it says why and stores nothing.
    void commandLineReadAsAnotherUser_data()
    {
        QTest::addColumn<int>("portMode");
        QTest::addColumn<int>("dbMode");
        QTest::addColumn<QString>("err"); // a pattern; %1: the port
        QTest::newRow("port not allowed") << 0 << 0x6666
                                          << "Error initializing serial port\nPermission denied on "
                                             "%1.*must belong to the group.*";
        QTest::newRow("read-only database")
            << 0x6666 << 0x4444 << "Can't add events to the database\n";
    }

    void commandLineReadAsAnotherUser()
    {
        QFETCH(int, portMode);
        QFETCH(int, dbMode);
        QFETCH(QString, err);
        CliRead setup;
        QVERIFY(setup.start({QStringLiteral("--log"), kSampleLog, "--pace", "0"}));
        [[maybe_unused]] auto& [sim, dir, db] = setup;
        if (portMode != 0)
            QVERIFY(QFile::setPermissions(sim.PortPath(), QFileDevice::Permissions(portMode)));
        QVERIFY(QFile::setPermissions(db, QFileDevice::Permissions(dbMode)));
        const Run r = AsAnotherUser(dir, {"read", db, "--port", sim.PortPath()});
        if (r.exitCode == kNotRun)
            QSKIP("needs root and setpriv to run as another user");
        QCOMPARE(r.exitCode, 1);
        const QRegularExpression expected(QRegularExpression::anchoredPattern(
                                              err.arg(QRegularExpression::escape(sim.PortPath()))),
                                          QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(expected.match(r.err).hasMatch(), qPrintable(r.err));
        QCOMPARE(rows(db).size(), 0);
    }

    void commandLinePorts()
    {
        const Run r = cli({"ports"});
        QCOMPARE(r.exitCode, 0);
        const QStringList listed = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(listed, AvailablePortNames());
    }
};

QTEST_GUILESS_MAIN(TestDownloadEndToEnd)
#include "test_download_endtoend.moc"
