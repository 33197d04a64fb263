// zqreader-cli import as a program: the mdbtools programs it runs are stand-ins
// that print exactly what the real ones print for an Access file with
// ZQreader's tables; a real Access file without them is refused.

#include "../support/fakemdbtools.h"
#include "../support/programrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

using Run = testrun::Result;

Run run(const QStringList& args, const QString& toolDir = {}, const QStringList& settings = {})
{
    QProcessEnvironment env = testrun::BerlinEnvironment();
    if (!toolDir.isEmpty())
        env.insert("PATH", toolDir + ":" + env.value("PATH"));
    for (const QString& s : settings)
        env.insert(s.section('=', 0, 0), s.section('=', 1));
    return testrun::Run(args, {.env = env});
}

} // namespace

class TestCliImport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void importsAndLists()
    {
        const QString tools = m_dir.filePath("tools");
        QVERIFY(QDir().mkpath(tools));
        QVERIFY(fakemdb::writeTools(
            tools,
            "4,\"Kowal, \\\\\"Anna\\\\\"\",7,\"2023-01-01 00:00:00\",\"2100-01-01 00:00:00\"\\n",
            "9,1234567,\"2023-10-29 02:30:00\",7,\"0\"\\n12,5,\"2023-03-26 "
            "03:00:00\",-1,\"1\"\\n"));
        const QString mdb = m_dir.filePath("old.mdb");
        QVERIFY(fakemdb::writeAccessFile(mdb));
        const QString db = m_dir.filePath("new.db");

        const Run imported = run({"import", mdb, db}, tools);
        QCOMPARE(imported.err, QString());
        QCOMPARE(imported.exitCode, 0);
        QCOMPARE(imported.out, "A new database has been created:  " + db +
                                   "\nUsers copied:  1\nEvents copied:  2\n");
        const Run listed = run({"list", db});
        QCOMPARE(listed.exitCode, 0);
        QCOMPARE(listed.out,
                 QStringLiteral("2023-10-29\t02:30:00\t     7\tKowal, \"Anna\"\t1234567\n"
                                "2023-03-26\t03:00:00\t    -1\t\t     5\n"));
    }

    // A program that loops, as mdbtools may on a damaged file, is stopped at
    // a bound and nothing is stored.
    void boundedTools_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("why");
        QTest::newRow("messages without end")
            << "mdb-tables" << QByteArray("while :; do echo 'page 2 damaged' >&2; done")
            << "ZQ_MDBTOOLS_ERROR_BYTES=10000"
            << "it wrote more than 10000 bytes of messages";
        QTest::newRow("listing without end")
            << "mdb-tables" << QByteArray("exec yes USERS") << "ZQ_MDBTOOLS_OUTPUT_BYTES=100000"
            << "it wrote more than 100000 bytes";
        QTest::newRow("silent") << "mdb-schema" << QByteArray("exec sleep 60")
                                << "ZQ_MDBTOOLS_QUIET_SECONDS=0.5"
                                << "it wrote nothing for 0.5 s";
        QTest::newRow("rows without end")
            << "mdb-export"
            << QByteArray("exec awk 'BEGIN { for (i = 1; ; i++) printf \"%d,\\\"A\\\",3,"
                          "\\\"2023-01-01 00:00:00\\\",\\n\", i }'")
            << "ZQ_MDBTOOLS_OUTPUT_BYTES=100000"
            << "it wrote more than 100000 bytes";
    }

    void boundedTools()
    {
        QFETCH(QString, tool);
        QFETCH(QByteArray, script);
        QFETCH(QString, setting);
        QFETCH(QString, why);
        QTemporaryDir dir;
        const QString tools = dir.filePath("tools");
        QVERIFY(QDir().mkpath(tools));
        QVERIFY(fakemdb::writeTools(tools, "", ""));
        QVERIFY(fakemdb::writeFile(tools + "/" + tool, "#!/bin/sh\n" + script + "\n", true));
        const QString mdb = dir.filePath("damaged.mdb");
        QVERIFY(fakemdb::writeAccessFile(mdb));

        const Run imported = run({"import", mdb, dir.filePath("new.db")}, tools, {setting});
        QCOMPARE(imported.exitCode, 1);
        QCOMPARE(imported.err, "Error while converting the Access database\n" + tool +
                                   " was stopped while reading the Access database \"" + mdb +
                                   "\": " + why + ". The file may be damaged.\n");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"damaged.mdb"});
    }

    void refusals()
    {
        const QString notes = m_dir.filePath("notes.txt");
        QVERIFY(fakemdb::writeFile(notes, "not a database\n"));
        const QString target = m_dir.filePath("refused.db");
        const Run notAccess = run({"import", notes, target});
        QCOMPARE(notAccess.exitCode, 1);
        QCOMPARE(notAccess.err, "Error while converting the Access database\n\"" + notes +
                                    "\" is not an Access database.\n");

        const QString fruit = QStringLiteral(ZQ_TEST_DATA_DIR "/fruit.mdb");
        if (QFile::exists(fruit)) {
            const Run noTables = run({"import", fruit, target});
            QCOMPARE(noTables.exitCode, 1);
            QVERIFY2(noTables.err.contains("It has no table USERS. It has no table EVENTS."),
                     qPrintable(noTables.err));
        }
        QVERIFY(!QFile::exists(target));
        QCOMPARE(run({"import", notes}).exitCode, 2);

        // Not even through a hard link does the new database replace the Access file.
        const QString mdb = m_dir.filePath("kept.mdb");
        const QString hardLink = m_dir.filePath("kept.db");
        QVERIFY(fakemdb::writeAccessFile(mdb));
        QCOMPARE(::link(qPrintable(mdb), qPrintable(hardLink)), 0);
        const Run overItself = run({"import", mdb, hardLink});
        QCOMPARE(overItself.exitCode, 1);
        QVERIFY2(overItself.err.contains("cannot take the place of the Access database"),
                 qPrintable(overItself.err));
        QCOMPARE(QFileInfo(hardLink).size(), fakemdb::accessFileBytes().size());
        if (!QFile::exists(fruit))
            QSKIP("fruit.mdb was not fetched (scripts/fetch-test-data.sh needs npm and the "
                  "network)");
    }
};

QTEST_GUILESS_MAIN(TestCliImport)
#include "test_cli_import.moc"
