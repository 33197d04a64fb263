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

Run run(const QStringList& args, const QString& toolDir = {})
{
    QProcessEnvironment env = testrun::BerlinEnvironment();
    if (!toolDir.isEmpty())
        env.insert("PATH", toolDir + ":" + env.value("PATH"));
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
