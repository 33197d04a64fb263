// A database opened through ODBC with the classic connection string: unixODBC
// with a data source "ZQreader" of the test's own, served by the SQLite ODBC
// driver, which takes the file from the source's Database= entry. new, read
// from the simulated receiver and list all go through it.

#include "../support/testdb.h"
#include "db/backend/dbexception.h"
#include "db/backend/odbcconnect.h"
#include "tests/support/programrun.h"
#include "tests/support/simprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Run = testrun::Result;

Run cli(const QStringList& arguments)
{
    return testrun::Run(arguments);
}

// Where Debian's libsqliteodbc puts it.
QString findSqliteOdbcDriver()
{
    QStringList candidates;
    for (const QString& arch : QDir("/usr/lib").entryList({"*-linux-gnu*"}, QDir::Dirs))
        candidates << "/usr/lib/" + arch + "/odbc/libsqlite3odbc.so";
    candidates << "/usr/lib/odbc/libsqlite3odbc.so"
               << "/usr/local/lib/libsqlite3odbc.so";
    for (const QString& path : candidates) {
        if (QFile::exists(path))
            return path;
    }
    return {};
}

} // namespace

// This test loads the ODBC driver stack too; see the note in initTestCase on why
// its leaks are not checked under LeakSanitizer.
extern "C" int __lsan_is_turned_off()
{
    return 1;
}

class TestLinkOdbc : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;

private Q_SLOTS:
    void initTestCase()
    {
        const QString driver = findSqliteOdbcDriver();
        if (driver.isEmpty())
            QSKIP("the SQLite ODBC driver (libsqliteodbc) is not installed");
        m_db = m_dir.filePath("events.db");
        QFile inst(m_dir.filePath("odbcinst.ini"));
        QVERIFY(inst.open(QIODevice::WriteOnly));
        // Kept loaded to the end, so that LeakSanitizer can name the driver in
        // what it keeps (see cmake/lsan.supp).
        inst.write("[SQLite3]\nDriver=" + driver.toUtf8() + "\nDontDLClose=1\n");
        inst.close();
        QFile ini(m_dir.filePath("odbc.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[ZQreader]\nDriver=SQLite3\nDatabase=" + m_db.toUtf8() + "\n");
        ini.close();
        // For this process's driver manager and the programs it starts.
        qputenv("ODBCSYSINI", m_dir.path().toUtf8());
        qputenv("ODBCINI", m_dir.filePath("odbc.ini").toUtf8());
        qputenv("TZ", "Europe/Berlin");
        // The driver is built without frame pointers: only the slow unwinder
        // finds it in the stack of what it allocates.
        const QByteArray asan = qgetenv("ASAN_OPTIONS");
        if (!asan.isEmpty())
            qputenv("ASAN_OPTIONS", asan + ":fast_unwind_on_malloc=0");
        QVERIFY(QDir::setCurrent(QStringLiteral(ZQ_BIN_DIR)));
    }

    void classicStringWithoutItsDsnPrefix()
    {
        QVERIFY(testdb::copyTemplate(m_db));
        QCOMPARE(OdbcConnectString("/data/events.mdb"),
                 QStringLiteral("ZQreader;DBQ=/data/events.mdb;DriverId=25;FIL=MS Access;"
                                "MaxBufferSize=2048;PageTimeout=5;UID=admin;"));
        QCOMPARE(OdbcConnectString("/data/a;b.mdb"),
                 QStringLiteral("ZQreader;DBQ={/data/a;b.mdb};DriverId=25;FIL=MS Access;"
                                "MaxBufferSize=2048;PageTimeout=5;UID=admin;"));
        {
            // As it stands, Qt makes it "DSN=DSN=ZQreader;...": IM002.
            QSqlDatabase raw = QSqlDatabase::addDatabase("QODBC", "raw");
            raw.setDatabaseName("DSN=" + OdbcConnectString(m_db));
            QVERIFY(!raw.open());
            QVERIFY2(raw.lastError().text().contains("Data source name not found"),
                     qPrintable(raw.lastError().text()));
        }
        QSqlDatabase::removeDatabase("raw");
        OpenOdbcConnection("odbc", m_db);
        {
            QSqlDatabase db = QSqlDatabase::database("odbc", false);
            QVERIFY(db.isOpen());
            VerifyOdbcTables(db, m_db);
            QVERIFY(QSqlQuery(db).exec("DROP TABLE USERS"));
            QVERIFY_THROWS_EXCEPTION(CDBException, VerifyOdbcTables(db, m_db));
            db.close();
        }
        QSqlDatabase::removeDatabase("odbc");
    }

    void newReadAndListThroughOdbc()
    {
        QFile::remove(m_db);
        const QString location = QStringLiteral("odbc:") + m_db;
        const Run created = cli({"new", location});
        QCOMPARE(created.err, QString());
        QCOMPARE(created.out, "A new database has been created:  " + m_db + "\n");
        QCOMPARE(testdb::exec(m_db, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                     "VALUES ('Anna Kowal', 2, '2000-01-01 00:00:00', "
                                     "'2100-01-01 00:00:00')"}),
                 QString());

        SimProcess sim;
        QVERIFY(sim.Start({"--log", ZQ_SOURCE_DIR "/sim/sample.log", "--pace", "0"}));
        const Run read = cli({"read", location, "--port", sim.PortPath()});
        QCOMPARE(read.err, QString());
        QCOMPARE(read.out, QStringLiteral("Number of read events:  40\n"));
        QVERIFY(sim.Command("add 3 1", "41 events in the log"));
        QCOMPARE(cli({"read", location, "--port", sim.PortPath()}).out,
                 QStringLiteral("Number of read events:  1\n"));
        QCOMPARE(testdb::scalar(m_db, "SELECT max(\"INDEX\") FROM EVENTS").toInt(), 41);

        // The joined list through ODBC is the list read from the file itself.
        const Run viaOdbc = cli({"list", location});
        const Run direct = cli({"list", m_db});
        QCOMPARE(viaOdbc.err, QString());
        QCOMPARE(viaOdbc.out.count('\n'), 41);
        QVERIFY(viaOdbc.out.contains("\tAnna Kowal\t"));
        QCOMPARE(viaOdbc.out, direct.out);
    }

    void failedNewThroughOdbcReplacesNothing_data()
    {
        QTest::addColumn<QByteArray>("source"); // the data sources the driver manager knows
        QTest::newRow("no data source") << QByteArray();
        // The source opens, but another file: the new one does not open in place.
        QTest::newRow("source of another file")
            << QByteArray("[ZQreader]\nDriver=SQLite3\nDatabase=") +
                   m_dir.filePath("elsewhere/other.db").toUtf8() + "\n";
    }

    void failedNewThroughOdbcReplacesNothing()
    {
        QFETCH(QByteArray, source);
        QTemporaryDir dir;
        QVERIFY(QDir(m_dir.path()).mkpath("elsewhere"));
        QFile ini(dir.filePath("odbc.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(source);
        ini.close();
        QVERIFY(QFile::copy(m_dir.filePath("odbcinst.ini"), dir.filePath("odbcinst.ini")));
        const QString db = dir.filePath("kept.db");
        QVERIFY(testdb::copyTemplate(db));
        QCOMPARE(testdb::exec(db, {"INSERT INTO EVENTS (TIMER) VALUES (1)"}), QString());
        QFile file(db);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ODBCSYSINI", dir.path());
        env.insert("ODBCINI", ini.fileName());
        const Run r = testrun::Run({"new", "odbc:" + db}, {.env = env});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.startsWith("Error while creating new database\n") &&
                     r.err.endsWith("\nNothing was replaced.\n"),
                 qPrintable(r.err));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"kept.db", "odbc.ini", "odbcinst.ini"}));
    }
};

QTEST_GUILESS_MAIN(TestLinkOdbc)
#include "test_link_odbc.moc"
