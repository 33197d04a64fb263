// zqreader-cli users and export run as programs on real database files; the
// CSV they write read back by the program itself and by Python's csv module.

#include "formats/csv.h"
#include "tests/support/programrun.h"
#include "tests/support/testdb.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Run = testrun::Result;

Run run(const QStringList& args,
        const QString& program = QStringLiteral(ZQ_BIN_DIR "/zqreader-cli"))
{
    return testrun::Run(args, {.program = program, .env = testrun::BerlinEnvironment()});
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The list's lines made from an export by Python's csv module, as a
// spreadsheet would read the file; numbers must come without padding.
const char kCsvToList[] = R"(
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))
assert rows[0] == ['date', 'time', 'user_no', 'user_name', 'timer', 'button'], rows[0]
for r in rows[1:]:
    assert len(r) == 6 and r[2] == str(int(r[2])) and r[4] == str(int(r[4])), r
    sys.stdout.write('%s\t%s\t%6d\t%s\t%6d\n' % (r[0], r[1], int(r[2]), r[3], int(r[4])))
)";

const QString kOpen = QStringLiteral("9999-12-31 23:59:59");

} // namespace

class TestCliUsers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString newDb(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        return run({"new", path}).exitCode == 0 ? path : QString();
    }

private Q_SLOTS:
    void usersRoundTripHostileNames()
    {
        const QStringList names{"Kowal, Anna", "Jan \"Kuba\" Wrona", "two\r\nlines", "Zażółć ☃ 𝄞",
                                " spaced "};
        std::string csv;
        AppendCsvRecord(csv, {"name", "user_no", "from", "to"});
        for (int i = 0; i < names.size(); ++i)
            AppendCsvRecord(csv, {names.at(i), QString::number(i * 100 - 1), "2024-01-01 00:00",
                                  i % 2 ? "2024-06-30 12:00:30" : ""});
        const QString file = m_dir.filePath("users.csv");
        QVERIFY(writeFile(file, QByteArray::fromStdString(csv)));

        const QString first = newDb("first.db");
        const QString second = newDb("second.db");
        const Run imported = run({"users", "import", first, file});
        QCOMPARE(imported.err, QString());
        QCOMPARE(imported.out, "Number of imported users:  5\n");
        const Run exported = run({"users", "export", first});
        QCOMPARE(exported.exitCode, 0);
        QVERIFY(writeFile(file, exported.rawOut));
        QCOMPARE(run({"users", "import", second, file}).exitCode, 0);
        QCOMPARE(run({"users", "export", second}).out, exported.out);

        const CsvDocument doc = ParseCsv(exported.rawOut);
        QCOMPARE(doc.records.size(), names.size() + 1);
        QCOMPARE(doc.records.at(1).fields,
                 (QStringList{names.at(0), "-1", "2024-01-01 00:00:00", ""})); // sorted by number
        QCOMPARE(doc.records.at(4).fields,
                 (QStringList{names.at(3), "299", "2024-01-01 00:00:00", "2024-06-30 12:00:30"}));
        QCOMPARE(testdb::scalar(second, "SELECT DATE_STOP FROM USERS WHERE USER_NO = 199"), kOpen);
    }

    void importWithBadRowsStoresNothing()
    {
        const QString db = newDb("bad.db");
        const QString file = m_dir.filePath("bad.csv");
        QVERIFY(writeFile(file, "name,user_no,from,to\r\n"
                                "Good,3,2024-01-01 00:00,\r\n"
                                "\"Broken\r\nname\",600,2024-01-01 00:00,\r\n"
                                "Bad \"quote\",5,2024-01-01 00:00,\r\n"
                                "Backwards,4,2024-02-01 00:00,2024-01-01 00:00\r\n"
                                "Too few,4\r\n"
                                "Good too,5,2024-01-01 00:00,\r\n"));
        const Run imported = run({"users", "import", db, file});
        QCOMPARE(imported.exitCode, 1);
        QCOMPARE(imported.out, QString());
        const QStringList lines = imported.err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(lines.at(i).startsWith(QStringLiteral("line %1: ").arg(QList{3, 5, 6, 7}[i])),
                     qPrintable(lines.at(i)));
        QCOMPARE(lines.last(), "Nothing was imported.");
        QCOMPARE(testdb::scalar(db, "SELECT count(*) FROM USERS").toInt(), 0);
    }

    void exportIsTheListRowForRow_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("firstDate"); // of the list rows expected, inclusive
        QTest::addColumn<QString>("lastDate");
        QTest::addColumn<int>("userNo"); // -2: all
        QTest::newRow("everything") << QStringList() << ""
                                    << "~" << -2;
        QTest::newRow("from a moment, through a day")
            << QStringList{"--from", "2009-10-21 09:05:03", "--to", "2009-10-22"}
            << "2009-10-21\t09:05:03"
            << "2009-10-22\t23:59:59" << -2;
        QTest::newRow("up to a moment, one user")
            << QStringList{"--to", "2009-10-21 09:05:03", "--user", "7"} << ""
            << "2009-10-21\t09:05:02" << 7;
    }
    void exportIsTheListRowForRow()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, firstDate);
        QFETCH(QString, lastDate);
        QFETCH(int, userNo);
        const QString db = m_dir.filePath("events.db");
        if (!QFile::exists(db)) {
            QCOMPARE(newDb("events.db"), db);
            // No user; two users at once; events at the very ends of periods;
            // a stored hour that Berlin skips; a date in another form.
            QCOMPARE(
                testdb::exec(db, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES "
                                  "('Smith, \"Al\"', 7, '2009-01-01 00:00:00', '" +
                                      kOpen +
                                      "'), ('Bob\nNew', 7, '2009-10-01 00:00:00', "
                                      "'2009-10-21 09:05:03'), ('Żaneta', 8, "
                                      "'2009-10-21 09:05:03', '2009-10-23 00:00:00')",
                                  "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                  "(1234567, '2009-10-21 09:05:03', 7, '0'), "
                                  "(1, '2009-10-21 09:05:02', 7, '1'), "
                                  "(2, '2009-10-21 09:05:03', 8, '0'), "
                                  "(3, '2009-10-22 23:59:59', 8, '1'), "
                                  "(4, '2009-10-23 00:00:00', 8, NULL), "
                                  "(5, '2009-10-22 12:00:00', -1, '0'), "
                                  "(6, '2010-03-28 02:30:00', 7, '0'), "
                                  "(7, '2009-10-21T09:10:00.5', 7, 'a,\"b\"')"}),
                QString());
        }
        const Run listed = run({"list", db});
        QCOMPARE(listed.exitCode, 0);
        // A row of the list: names may hold line breaks, never tabs.
        static const QRegularExpression rowRe("(\\S+\\t\\S+)\\t *(-?\\d+)\\t[^\\t]*\\t *-?\\d+\\n");
        QByteArray expected;
        int rows = 0;
        for (const QRegularExpressionMatch& m : rowRe.globalMatch(listed.out)) {
            if (m.captured(1) >= firstDate && m.captured(1) <= lastDate &&
                (userNo == -2 || m.captured(2).toInt() == userNo)) {
                expected += m.captured(0).toUtf8();
                ++rows;
            }
        }
        QVERIFY(!expected.isEmpty());

        const QString file = m_dir.filePath("export.csv");
        const Run exported = run(QStringList{"export", db, "--output", file} + options);
        QCOMPARE(exported.err, QString());
        QCOMPARE(exported.rawOut, "Number of exported rows:  " + QByteArray::number(rows) + "\n");
        const QString python = QStandardPaths::findExecutable("python3");
        if (python.isEmpty())
            QSKIP("python3 is not installed");
        const Run read = run({"-c", kCsvToList, file}, python);
        QCOMPARE(read.err, QString());
        QCOMPARE(read.rawOut, expected);
    }
};

QTEST_GUILESS_MAIN(TestCliUsers)
#include "test_cli_users.moc"
