// zqreader-cli run as a program: new and list on files written by sqlite3.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QStringList& args, const QString& workDir = {}, const QString& program = {})
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
    p.setProcessEnvironment(env);
    p.start(program.isEmpty() ? QStringLiteral(ZQ_BIN_DIR "/zqreader-cli") : program, args);
    if (!p.waitForFinished(30000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void newThenListWithRowsWrittenBySqlite3()
    {
        const QString db = m_dir.filePath("events.db");
        const Run created = run({"new", db});
        QCOMPARE(created.exitCode, 0);
        QCOMPARE(created.out, "A new database has been created:  " + db + "\n");
        QCOMPARE(created.err, QString());

        if (QStandardPaths::findExecutable("sqlite3").isEmpty())
            QSKIP("the sqlite3 tool is not installed");
        const Run filled = run(
            {db, "INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES "
                 "('Alice Smith', 7, datetime('2009-01-01'), datetime('2010-01-01')),"
                 "('Bob', 7, '2009-10-01 00:00:00', '2009-10-21 09:05:03');"
                 "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                 "(1234567, '2009-10-21 09:05:03', 7, '0'), (12, '2011-02-03 04:05:06', -1, '1'),"
                 "(5, '2009-10-20 08:00:00', 7, '1');"},
            {}, QStandardPaths::findExecutable("sqlite3"));
        QCOMPARE(filled.err, QString());

        const Run listed = run({"list", db});
        QCOMPARE(listed.err, QString());
        QCOMPARE(listed.exitCode, 0);
        const QStringList lines = listed.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0), QStringLiteral("2009-10-21\t09:05:03\t     7\tAlice Smith\t1234567"));
        QCOMPARE(lines.at(1), QStringLiteral("2011-02-03\t04:05:06\t    -1\t\t    12"));
        QStringList both{lines.at(2), lines.at(3)};
        both.sort();
        QCOMPARE(both, (QStringList{"2009-10-20\t08:00:00\t     7\tAlice Smith\t     5",
                                    "2009-10-20\t08:00:00\t     7\tBob\t     5"}));
    }

    void templateIsFoundFromAnyDirectory()
    {
        // Run from a folder without a template: the one beside the program is used.
        QTemporaryDir elsewhere;
        const Run created = run({"new", "relative.db"}, elsewhere.path());
        QCOMPARE(created.exitCode, 0);
        QVERIFY(QFile::exists(elsewhere.filePath("relative.db")));
        const Run listed = run({"list", "relative.db"}, elsewhere.path());
        QCOMPARE(listed.exitCode, 0);
        QCOMPARE(listed.out, QString());
    }

    void failures()
    {
        const Run cannotCreate = run({"new", m_dir.filePath("missing folder/x.db")});
        QCOMPARE(cannotCreate.exitCode, 1);
        QCOMPARE(cannotCreate.out, QString());
        QVERIFY(cannotCreate.err.startsWith("Error while creating new database\n"));

        const Run missing = run({"list", m_dir.filePath("nothing.db")});
        QCOMPARE(missing.exitCode, 1);
        QCOMPARE(missing.out, QString());
        QVERIFY(missing.err.contains("does not exist"));

        QFile text(m_dir.filePath("notes.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a database\n");
        text.close();
        const Run notDb = run({"list", text.fileName()});
        QCOMPARE(notDb.exitCode, 1);
        QVERIFY(notDb.err.contains("notes.txt"));

        for (const QStringList& args :
             {QStringList{}, QStringList{"frobnicate", "x.db"}, QStringList{"list"},
              QStringList{"new", "a", "b"}, QStringList{"--no-such-option"}}) {
            const Run usage = run(args);
            QCOMPARE(usage.exitCode, 2);
            QVERIFY(usage.err.contains("Usage:"));
        }
        const Run version = run({"--version"});
        QCOMPARE(version.exitCode, 0);
        QVERIFY(version.out.startsWith("zqreader-cli "));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
