// zqreader-cli read as a scheduler runs it: the exit status and the log line
// of every kind of outcome, through the real simulator; a second read while
// one is under way; the port details.

#include "link/portlist.h"
#include "tests/support/programrun.h"
#include "tests/support/simprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kCli = QStringLiteral(ZQ_BIN_DIR "/zqreader-cli");

using Run = testrun::Result;

Run cli(const QStringList& arguments)
{
    return testrun::Run(arguments);
}

bool newDatabase(const QString& path)
{
    return cli({"new", path}).exitCode == 0;
}

} // namespace

class TestUnattendedRead : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exitStatusAndLogLine_data()
    {
        QTest::addColumn<QStringList>("sim");
        QTest::addColumn<QString>("db");   // "new", "missing" or "text"
        QTest::addColumn<QString>("port"); // "pty", "link" or a name
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome");
        const QStringList sample{"--log", ZQ_SOURCE_DIR "/sim/sample.log", "--pace", "0"};
        const QStringList empty{"--pace", "0"};
        const QStringList logLine{"--log-line"};
        const QStringList nothingNew{"--log-line", "--exit-nothing-new"};
        QTest::newRow("downloaded") << sample << "new"
                                    << "pty" << logLine << 0 << "40 events downloaded";
        QTest::newRow("downloaded through a link")
            << sample << "new"
            << "link" << logLine << 0 << "40 events downloaded";
        QTest::newRow("nothing new") << empty << "new"
                                     << "pty" << logLine << 0 << "nothing new";
        QTest::newRow("nothing new, own status") << empty << "new"
                                                 << "pty" << nothingNew << 3 << "nothing new";
        QTest::newRow("receiver error")
            << QStringList{"--generate", "50", "--pace", "0", "--status", "2"} << "new"
            << "pty" << logLine << 75 << "Communication error: The receiver on";
        QTest::newRow("silent receiver")
            << QStringList{"--generate", "200", "--pace", "0", "--silence-after", "3"} << "new"
            << "pty" << logLine << 75 << "Out of time: The receiver on";
        QTest::newRow("no such port") << QStringList{} << "new"
                                      << "ttyZQ404" << logLine << 1
                                      << "Error initializing serial port: There is no serial port";
        for (const char* device : {"/dev/null", "/dev/zero"})
            QTest::addRow("%s", device) << QStringList{} << "new" << device << logLine << 1
                                        << QStringLiteral("%1 is not a serial port: it is a "
                                                          "device that is no terminal")
                                               .arg(QLatin1String(device));
        QTest::newRow("the program's own terminal")
            << QStringList{} << "new"
            << "/dev/tty" << logLine << 1 << "/dev/tty is not a serial port: it is a terminal";
        QTest::newRow("a folder") << QStringList{} << "new"
                                  << "/" << logLine << 1
                                  << "/ is not a serial port: it is a folder";
        QTest::newRow("network port refused")
            << QStringList{} << "new"
            << "rfc2217://127.0.0.1:1" << logLine << 75
            << "Error initializing serial port: 127.0.0.1:1 refused the connection";
        QTest::newRow("no database") << sample << "missing"
                                     << "pty" << logLine << 1 << "does not exist";
        QTest::newRow("not a database") << sample << "text"
                                        << "pty" << logLine << 1 << "is not a ZQreader database";
        QTest::newRow("messages as before")
            << sample << "new"
            << "pty" << QStringList{} << 0 << "Number of read events:  40";
    }

    void exitStatusAndLogLine()
    {
        QFETCH(QStringList, sim);
        QFETCH(QString, db);
        QFETCH(QString, port);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        const QString link = dir.filePath("usb-Maker_Adapter_A1-if00-port0");
        SimProcess receiver;
        if (!sim.isEmpty())
            QVERIFY(receiver.Start(sim + QStringList{"--link", link}));
        const QString portName = port == "pty" ? receiver.PortPath() : port == "link" ? link : port;
        const QString path = dir.filePath("front.db");
        if (db == "new")
            QVERIFY(newDatabase(path));
        if (db == "text") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("no database\n");
        }

        const Run r = cli(QStringList{"read", path, "--port", portName} + options);
        QCOMPARE(r.exitCode, exitCode);
        if (options.isEmpty()) {
            QCOMPARE(r.out, outcome + '\n');
            return;
        }
        const QString line = (exitCode == 0 || exitCode == 3) ? r.out : r.err;
        QCOMPARE((exitCode == 0 || exitCode == 3) ? r.err : r.out, QString());
        const QString prefix = "zqreader-cli read: " + path + " from " + portName + ": ";
        QVERIFY2(line.startsWith(prefix) && line.contains(outcome) && line.count('\n') == 1,
                 qPrintable(line));
    }

    // A read that comes while another is under way into the same database, or
    // from the same port, is refused at once and touches nothing.
    void secondReadIsRefused()
    {
        SimProcess receiver;
        QVERIFY(receiver.Start({"--generate", "1000"})); // paced: several seconds
        QTemporaryDir dir;
        const QString first = dir.filePath("first.db"), second = dir.filePath("second.db");
        QVERIFY(newDatabase(first) && newDatabase(second));

        QProcess running;
        running.start(kCli, {"read", first, "--port", receiver.PortPath(), "--log-line"});
        QVERIFY(running.waitForStarted());
        QVERIFY(receiver.Command("status", "session 1 started"));

        const Run sameDb = cli({"read", first, "--port", receiver.PortPath(), "--log-line"});
        QCOMPARE(sameDb.exitCode, 4);
        QVERIFY2(sameDb.err.contains("Another read is under way"), qPrintable(sameDb.err));
        const Run samePort = cli({"read", second, "--port", receiver.PortPath(), "--log-line"});
        QCOMPARE(samePort.exitCode, 4);
        QVERIFY2(samePort.err.contains("is held by another program"), qPrintable(samePort.err));
        // Under another name too, as root too: the device itself is locked.
        const QString link = dir.filePath("receiver");
        QVERIFY(QFile::link(receiver.PortPath(), link));
        const Run sameDevice = cli({"read", second, "--port", link, "--log-line"});
        QCOMPARE(sameDevice.exitCode, 4);
        QVERIFY2(sameDevice.err.contains(link + " (" + receiver.PortPath() +
                                         ") is held by another program"),
                 qPrintable(sameDevice.err));
        QCOMPARE(running.state(), QProcess::Running);

        const Run done = testrun::Finish(running);
        QCOMPARE(done.exitCode, 0);
        QVERIFY2(done.out.endsWith(": 1000 events downloaded\n"), qPrintable(done.out));
        QCOMPARE(cli({"list", first}).out.count('\n'), 1000);
        QCOMPARE(cli({"list", second}).out, QString());
    }

    void portsVerbose()
    {
        const Run names = cli({"ports"});
        const Run verbose = cli({"ports", "--verbose"});
        QCOMPARE(verbose.exitCode, 0);
        QStringList first;
        for (const QString& line : verbose.out.split('\n', Qt::SkipEmptyParts)) {
            QCOMPARE(line.count('\t'), 4);
            first << line.section('\t', 0, 0);
        }
        QCOMPARE(first, names.out.split('\n', Qt::SkipEmptyParts));
        QCOMPARE(cli({"list", "x.db", "--verbose"}).exitCode, 2);
    }

    void byIdNameOfADevice()
    {
        QTemporaryDir dir;
        QFile device(dir.filePath("ttyUSB7")), other(dir.filePath("ttyUSB8"));
        QVERIFY(device.open(QIODevice::WriteOnly) && other.open(QIODevice::WriteOnly));
        QVERIFY(QDir().mkdir(dir.filePath("by-id")));
        const QString name = dir.filePath("by-id/usb-Maker_Adapter_A1-if00-port0");
        QVERIFY(QFile::link("../ttyUSB7", name));
        QCOMPARE(ByIdPath(device.fileName(), dir.filePath("by-id")), name);
        QCOMPARE(ByIdPath(other.fileName(), dir.filePath("by-id")), QString());
        QCOMPARE(PortSummary({"ttyUSB7", device.fileName(), "USB UART", "Maker", "A1", name}),
                 "USB UART, Maker, serial number A1; " + name);
    }
};

QTEST_GUILESS_MAIN(TestUnattendedRead)
#include "test_unattended_read.moc"
