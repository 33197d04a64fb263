// zqreader-cli users and export run as programs on real database files; the
// CSV they write read back by the program itself and by Python's csv module.

#include "db/record/visibletext.h"
#include "formats/csv.h"
#include "tests/support/pgserver.h"
#include "tests/support/programrun.h"
#include "tests/support/simprocess.h"
#include "tests/support/testdb.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

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

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs zqreader-cli with standard output appended to the file, in a shell
// that first runs setup (such as a ulimit).
Run runAppending(const QStringList& args, const QString& file, const QString& setup = {})
{
    return run(
        QStringList{"-c", setup + "\nexec \"$@\" >> \"$0\"", file, ZQ_BIN_DIR "/zqreader-cli"} +
            args,
        QStringLiteral("/bin/sh"));
}

// The list's lines made from an export by Python's csv module, as a
// spreadsheet would read the file; numbers must come without padding. The
// export holds names as stored, the list shows control characters escaped.
const char kCsvToList[] = R"(
import csv, re, sys
rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))
assert rows[0] == ['date', 'time', 'user_no', 'user_name', 'timer', 'button'], rows[0]
named = {'\t': '\\t', '\n': '\\n', '\r': '\\r'}
def shown(c):
    return named.get(c) or ('\\x%02x' % ord(c) if ord(c) < 256 else '\\u%04x' % ord(c))
for r in rows[1:]:
    assert len(r) == 6 and r[2] == str(int(r[2])) and r[4] == str(int(r[4])), r
    name = re.sub('[\x00-\x1f\x7f-\x9f\u200b-\u200d\u2028-\u202e\u2060\u2066-\u2069\ufeff]',
                  lambda m: shown(m.group()), r[3])
    sys.stdout.write('%s\t%s\t%6d\t%s\t%6d\n' % (r[0], r[1], int(r[2]), name, int(r[4])))
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
        const QStringList names{"Kowal, Anna", "Jan \"Kuba\" Wrona", "back\\slash \\n",
                                "Zażółć ☃ 𝄞", " spaced "};
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

    // Names other programs stored with control characters show on one line.
    void controlCharactersShownEscaped_data()
    {
        QTest::addColumn<QString>("stored"); // SQL
        QTest::addColumn<QString>("shown");
        QTest::newRow("tab") << "'A' || char(9) || 'B'"
                             << "A\\tB";
        QTest::newRow("line breaks") << "'A' || char(13, 10) || 'B'"
                                     << "A\\r\\nB";
        QTest::newRow("NUL") << "'A' || char(0) || 'B'"
                             << "A\\x00B";
        QTest::newRow("DEL and C1") << "char(127, 133)"
                                    << "\\x7f\\x85";
        QTest::newRow("line separator") << "'A' || char(8232)"
                                        << "A\\u2028";
        QTest::newRow("backslash as it is") << "'A\\tB'"
                                            << "A\\tB";
    }
    void controlCharactersShownEscaped()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        const QString db = newDb(QTest::currentDataTag() + QStringLiteral(".db"));
        QCOMPARE(testdb::exec(db, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                   "VALUES (" +
                                       stored + ", 5, '2024-01-01 00:00:00', '" + kOpen + "')",
                                   "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                   "(77, '2024-05-01 12:00:00', 5, '0')"}),
                 QString());
        QCOMPARE(run({"list", db}).out, "2024-05-01\t12:00:00\t     5\t" + shown + "\t    77\n");
        QCOMPARE(run({"users", "list", db}).out, shown + "\t5\t2024-01-01 00:00:00\t\n");
    }

    void controlCharactersRefused()
    {
        const QString db = newDb("refused.db");
        const Run added = run({"users", "add", db, "Anna\tKowal", "3", "2024-01-01 00:00"});
        QCOMPARE(added.exitCode, 2);
        QVERIFY2(added.err.startsWith("zqreader-cli: the user was not added: the name "
                                      "\"Anna\\tKowal\" holds a control character (tab, line "
                                      "break, NUL or the like)\n"),
                 qPrintable(added.err));
        const QString file = m_dir.filePath("control.csv");
        QVERIFY(writeFile(file, "name,user_no,from,to\r\nGood,3,2024-01-01 00:00,\r\n"
                                "\"two\nlines\",4,2024-01-01 00:00,\r\n"));
        const Run imported = run({"users", "import", db, file});
        QCOMPARE(imported.exitCode, 1);
        QVERIFY2(imported.err.startsWith("line 3: the name \"two\\nlines\" holds a control"),
                 qPrintable(imported.err));
        QCOMPARE(testdb::scalar(db, "SELECT count(*) FROM USERS").toInt(), 0);
    }

    // Names are UTF-8 text without the invisible characters that make a name
    // look like another, given to users add or in the file of users import.
    void namesAreVisibleUtf8Text_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("added");    // what users add tells; empty: stored
        QTest::addColumn<QString>("imported"); // what users import tells
        const QString field = "field 1 is not UTF-8 text";
        for (const QByteArray& bytes : {QByteArray("A\xff"), QByteArray("Anna\xc3"),
                                        QByteArray("A\xed\xa0\x80")}) // a surrogate
            QTest::addRow("%s", bytes.toHex().constData())
                << bytes << "the name is not UTF-8 text" << field;
        for (const auto& [first, last] : {std::pair<char16_t, char16_t>{0x200B, 0x200D},
                                          {0x202A, 0x202E},
                                          {0x2060, 0x2060},
                                          {0x2066, 0x2069},
                                          {0xFEFF, 0xFEFF}}) {
            const QString told = QStringLiteral("the name \"A\\u%1B\\u%2\" holds a control")
                                     .arg(unsigned(first), 4, 16, QLatin1Char('0'))
                                     .arg(unsigned(last), 4, 16, QLatin1Char('0'));
            QTest::addRow("U+%04X to U+%04X", unsigned(first), unsigned(last))
                << (QString("A") + QChar(first) + "B" + QChar(last)).toUtf8() << told << told;
        }
        QTest::newRow("private use, as given")
            << (QString("A") + QChar(0xF780) + QChar(0xF7FF)).toUtf8() << ""
            << "";
    }
    void namesAreVisibleUtf8Text()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, added);
        QFETCH(QString, imported);
        const QString db = newDb(QStringLiteral("name %1.db").arg(QTest::currentDataTag()));
        QByteArray octal; // the bytes as printf's %b takes them
        for (const char c : std::as_const(name))
            octal += "\\0" + QByteArray::number(uchar(c), 8);
        const Run add =
            run({"-c", "exec \"$0\" users add \"$1\" \"$(printf '%b' \"$2\")\" 3 2024-01-01",
                 ZQ_BIN_DIR "/zqreader-cli", db, QString::fromLatin1(octal)},
                QStringLiteral("/bin/sh"));
        QCOMPARE(add.exitCode, added.isEmpty() ? 0 : 2);
        QVERIFY2(add.err.startsWith(added.isEmpty()
                                        ? QString()
                                        : "zqreader-cli: the user was not added: " + added),
                 qPrintable(add.err));
        const QString file = m_dir.filePath("name.csv");
        QVERIFY(writeFile(file, "name,user_no,from,to\r\n" + name + ",4,2024-01-01,\r\n"));
        const Run import = run({"users", "import", db, file});
        QCOMPARE(import.exitCode, imported.isEmpty() ? 0 : 1);
        QVERIFY2(import.err.startsWith(imported.isEmpty() ? QString() : "line 2: " + imported),
                 qPrintable(import.err));
        // Stored as given, byte for byte, or not at all.
        const QByteArray hex = name.toHex().toUpper();
        QCOMPARE(testdb::scalar(db, "SELECT group_concat(hex(NAME), ' ') FROM USERS").toString(),
                 added.isEmpty() ? QString(hex + ' ' + hex) : QString());
    }

    // A server's dates show as a file stores them: in the list, the messages
    // and the CSV of users export, which users import reads back. However many
    // periods overlap, each number's overlaps are told in a few lines.
    void usersReadTheSameOnEveryBackend_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("file") << "sqlite";
        QTest::newRow("server") << "postgres";
    }
    void usersReadTheSameOnEveryBackend()
    {
        QFETCH(QString, backend);
        const auto fresh = [&](const QString& name) {
            QString where = m_dir.filePath(name + ".db");
            if (backend == "postgres") {
                testpg::Server& pg = testpg::Server::Instance();
                if (!pg.IsRunning())
                    return QString();
                where = pg.Uri(pg.CreateDatabase());
            }
            return run({"new", where}).exitCode == 0 ? where : QString();
        };
        const QString db = fresh("backend " + backend);
        if (db.isEmpty() && backend == "postgres")
            QSKIP(qPrintable(testpg::Server::Instance().Error()));
        QVERIFY(!db.isEmpty());
        // Forty open periods of number 7 a minute apart: 780 pairs.
        QStringList values;
        QString listed;
        for (int i = 0; i < 40; ++i) {
            const QString start =
                QStringLiteral("2024-01-01 00:%1:00").arg(i, 2, 10, QLatin1Char('0'));
            values << QStringLiteral("('U%1', 7, '%2', '%3')").arg(i).arg(start, kOpen);
            listed += QStringLiteral("U%1\t7\t%2\t\n").arg(i).arg(start);
        }
        QCOMPARE(testdb::exec(db, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                   "VALUES " +
                                   values.join(", ")}),
                 QString());
        // Its start in the hour Berlin skips in spring.
        QCOMPARE(run({"users", "add", db, "Eve", "3", "2024-03-31 02:30", "2024-07-01 10:00:30"})
                     .exitCode,
                 0);
        QCOMPARE(run({"users", "add", db, "Anna", "3", "2024-01-01"}).exitCode, 0);

        const Run list = run({"users", "list", db});
        QCOMPARE(list.out, "Anna\t3\t2024-01-01 00:00:00\t\nEve\t3\t2024-03-31 02:30:00\t"
                           "2024-07-01 10:00:30\n" +
                               listed);
        QCOMPARE(list.err,
                 "Periods overlap, user number 3: Anna (2024-01-01 00:00:00 to no end) and Eve "
                 "(2024-03-31 02:30:00 to 2024-07-01 10:00:30)\n"
                 "Periods overlap, user number 7: U0 (2024-01-01 00:00:00 to no end) and U1 "
                 "(2024-01-01 00:01:00 to no end)\n"
                 "Periods overlap, user number 7: U0 (2024-01-01 00:00:00 to no end) and U2 "
                 "(2024-01-01 00:02:00 to no end)\n"
                 "Periods overlap, user number 7: U1 (2024-01-01 00:01:00 to no end) and U2 "
                 "(2024-01-01 00:02:00 to no end)\n"
                 "Periods overlap, user number 7: and 777 more pairs; 40 periods overlap "
                 "another\n");

        const Run exported = run({"users", "export", db});
        QCOMPARE(exported.exitCode, 0);
        QVERIFY(exported.rawOut.contains("\r\nAnna,3,2024-01-01 00:00:00,\r\n"));
        const QString file = m_dir.filePath("backend " + backend + ".csv");
        QVERIFY(writeFile(file, exported.rawOut));
        const QString again = fresh("again " + backend);
        QVERIFY(!again.isEmpty());
        QCOMPARE(run({"users", "import", again, file}).out, "Number of imported users:  42\n");
        QCOMPARE(run({"users", "export", again}).rawOut, exported.rawOut);
        QCOMPARE(run({"users", "list", again}).out, list.out);
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

    // An output that is the database, or one that cannot take all that is
    // printed, fails (exit status 1) with the reason last on standard error,
    // and the database stays as it was. The null device takes anything.
    void outputsNeverReplaceTheDatabase_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("target"); // how the output names the database, or where it goes
        QTest::addColumn<QString>("why");
        const QString over = "that is being read: it is not written over.\n";
        for (const char* target : {"itself", "link", "hard link", "-wal", "-journal", "appended"})
            QTest::addRow("export, %s", target) << "export" << target << over;
        for (const char* command : {"users export", "report"})
            QTest::addRow("%s, appended", command) << command << "appended" << over;
        QTest::newRow("report, itself") << "report"
                                        << "itself" << over;
        for (const char* command : {"export", "users export", "report"})
            QTest::addRow("%s, full disk", command) << command << "/dev/full"
                                                    << "No space left on device\n";
        for (const char* command : {"list", "users list"})
            QTest::addRow("%s, appended", command) << command << "appended" << over;
        for (const char* command :
             {"list", "users list", "ports", "read --log-line --port PORT", "--version"})
            QTest::addRow("%s, full disk", command)
                << command << "/dev/full"
                << "Cannot write to standard output: No space left on device\n";
        QTest::newRow("list, file size limit")
            << "list"
            << "ulimit -f 100" // blocks of 512 bytes
            << "Cannot write to standard output: File too large\n";
        for (const char* command : {"export", "report"})
            QTest::addRow("%s, null device", command) << command << "/dev/null"
                                                      << "";
    }
    void outputsNeverReplaceTheDatabase()
    {
        QFETCH(QString, command);
        QFETCH(QString, target);
        QFETCH(QString, why);
        QTemporaryDir dir;
        const QString db = dir.filePath("x.db");
        QCOMPARE(run({"new", db}).exitCode, 0);
        // More than the file size limit takes of the list.
        QCOMPARE(testdb::exec(db, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                   "VALUES ('Anna', 3, '2024-01-01 00:00:00', '" +
                                       kOpen + "')",
                                   "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM "
                                   "n WHERE i < 2000) INSERT INTO EVENTS (TIMER, DATE, USER_NO, "
                                   "BUTTON) SELECT i, datetime('2024-02-01', '+' || i || ' "
                                   "minutes'), 3, '0' FROM n"}),
                 QString());
        SimProcess receiver; // with nothing to send: read prints "nothing new"
        if (command.startsWith("read"))
            QVERIFY(receiver.Start({"--generate", "0", "--pace", "0"}));
        QString out = db;
        if (target == "link")
            QVERIFY(QFile::link("x.db", out = dir.filePath("link.csv")));
        else if (target == "hard link")
            QCOMPARE(::link(qPrintable(db), qPrintable(out = dir.filePath("hard.csv"))), 0);
        else if (target.startsWith('-'))
            out += target;
        const QByteArray before = readFile(db);
        const QStringList entries = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);

        QStringList args = command.split(' ');
        args.replaceInStrings("PORT", receiver.PortPath());
        if (args.first() == "ports" && run(args).out.isEmpty())
            QSKIP("no serial port is listed here");
        if (args.first() != "ports" && !args.first().startsWith("--"))
            args << db;
        QTemporaryDir elsewhere;
        const Run r = [&] {
            if (target == "appended")
                return runAppending(args, db);
            if (target == "/dev/full")
                return runAppending(args, target);
            if (target.startsWith("ulimit"))
                return runAppending(args, elsewhere.filePath("list.txt"), target);
            return run(args + QStringList{"--output", target == "/dev/null" ? target : out});
        }();
        QCOMPARE(r.exitCode, why.isEmpty() ? 0 : 1);
        QVERIFY2(why.isEmpty() ? r.err.isEmpty() : r.err.endsWith(why), qPrintable(r.err));
        QCOMPARE(readFile(db), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), entries);
        QCOMPARE(run({"list", db}).exitCode, 0);
    }

    void namesAreGuardedAgainstFormulas_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("guarded"); // the field a spreadsheet reads
        const QStringList formulas{
            "=cmd|'/C calc'!A0", "+SUM(1)", "@SUM(1)", "-2+3", "\tTab", "\r=1", "'=quoted"};
        for (const QString& formula : formulas)
            QTest::addRow("formula %d", int(formulas.indexOf(formula))) << formula << "'" + formula;
        for (const QString text : {"'Tis", "Ann-Marie"})
            QTest::addRow("text %s", qPrintable(text)) << text << text;
    }
    void namesAreGuardedAgainstFormulas()
    {
        QFETCH(QString, name);
        QFETCH(QString, guarded);
        QTemporaryDir dir;
        const QString db = dir.filePath("x.db");
        QCOMPARE(run({"new", db}).exitCode, 0);
        QCOMPARE(testdb::exec(db, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                   "VALUES ('" +
                                       QString(name).replace("'", "''") +
                                       "', -1, '2024-01-01 00:00:00', '" + kOpen + "')",
                                   "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                   "(-5, '2024-02-01 00:00:00', -1, '-1')"}),
                 QString());
        for (const bool raw : {false, true}) {
            const QString shown = raw ? name : guarded;
            const QStringList option = raw ? QStringList{"--raw"} : QStringList{};
            const Run events = run(QStringList{"export", db} + option);
            QCOMPARE(events.err, QString());
            QCOMPARE(ParseCsv(events.rawOut).records.value(1).fields,
                     (QStringList{"2024-02-01", "00:00:00", "-1", shown, "-5", "-1"}));

            // users import takes back what users export wrote, with the same option.
            const Run users = run(QStringList{"users", "export", db} + option);
            QCOMPARE(ParseCsv(users.rawOut).records.value(1).fields,
                     (QStringList{shown, "-1", "2024-01-01 00:00:00", ""}));
            const QString file = dir.filePath("users.csv");
            const QString again = dir.filePath(raw ? "raw.db" : "guarded.db");
            QVERIFY(writeFile(file, users.rawOut));
            QCOMPARE(run({"new", again}).exitCode, 0);
            // Except a name with a control character, which is refused.
            const bool refused = HasControlCharacter(name);
            QCOMPARE(run(QStringList{"users", "import", again, file} + option).exitCode,
                     refused ? 1 : 0);
            QCOMPARE(testdb::scalar(again, "SELECT NAME FROM USERS").toString(),
                     refused ? QString() : name);
        }
    }

    void importReadsOnlyASmallRegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");
        QTest::newRow("device") << "/dev/zero"
                                << "it is a device, not a regular file.";
        QTest::newRow("named pipe") << "fifo"
                                    << "it is a named pipe (FIFO), not a regular file.";
        QTest::newRow("folder") << "folder"
                                << "it is a folder, not a regular file.";
        QTest::newRow("long line") << "long line"
                                   << "line 3 is longer than 4096 bytes.";
        QTest::newRow("long file") << "long file"
                                   << "it is longer than 4 MiB.";
    }
    void importReadsOnlyASmallRegularFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        QTemporaryDir dir;
        const QString db = dir.filePath("x.db");
        QCOMPARE(run({"new", db}).exitCode, 0);
        QString file = kind.startsWith('/') ? kind : dir.filePath("users.csv");
        const QByteArray row = "Anna,3,2024-01-01 00:00,\n";
        if (kind == "fifo")
            QCOMPARE(::mkfifo(qPrintable(file), 0600), 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkdir(file));
        else if (kind == "long line")
            QVERIFY(writeFile(file, "name,user_no,from,to\n" + row + QByteArray(4097, 'x') + row));
        else if (kind == "long file")
            QVERIFY(writeFile(file,
                              "name,user_no,from,to\n" + row.repeated((4 << 20) / row.size() + 1)));

        const Run r = run({"users", "import", db, file});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, "Cannot read \"" + file + "\": " + why + "\nNothing was imported.\n");
        QCOMPARE(testdb::scalar(db, "SELECT count(*) FROM USERS").toInt(), 0);
    }

    void exportIsTheListRowForRow_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("firstDate"); // of the list rows expected, inclusive
        QTest::addColumn<QString>("lastDate");
        QTest::addColumn<QList<int>>("userNos"); // empty: all
        QTest::addColumn<QString>("name");       // what the name holds, any case
        QTest::addColumn<QList<int>>("timers");  // of the button asked for; empty: all
        QTest::newRow("everything") << QStringList() << ""
                                    << "~" << QList<int>() << "" << QList<int>();
        QTest::newRow("from a moment, through a day")
            << QStringList{"--from", "2009-10-21 09:05:03", "--to", "2009-10-22"}
            << "2009-10-21\t09:05:03"
            << "2009-10-22\t23:59:59" << QList<int>() << "" << QList<int>();
        QTest::newRow("up to a moment, one user")
            << QStringList{"--to", "2009-10-21 09:05:03", "--user", "7"} << ""
            << "2009-10-21\t09:05:02" << QList<int>{7} << "" << QList<int>();
        QTest::newRow("two users") << QStringList{"--user", "8", "--user", "-1"} << ""
                                   << "~" << QList<int>{8, -1} << "" << QList<int>();
        QTest::newRow("name, other case") << QStringList{"--name", "żAN"} << ""
                                          << "~" << QList<int>() << "Żan" << QList<int>();
        QTest::newRow("name of one of two users") << QStringList{"--name", "bob"} << ""
                                                  << "~" << QList<int>() << "Bob" << QList<int>();
        QTest::newRow("button") << QStringList{"--button", "1"} << ""
                                << "~" << QList<int>() << "" << QList<int>{1, 3};
        QTest::newRow("button and user") << QStringList{"--button", "0", "--user", "7"} << ""
                                         << "~" << QList<int>{7} << "" << QList<int>{1234567, 6};
    }
    void exportIsTheListRowForRow()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, firstDate);
        QFETCH(QString, lastDate);
        QFETCH(QList<int>, userNos);
        QFETCH(QString, name);
        QFETCH(QList<int>, timers);
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
        static const QRegularExpression rowRe(
            "(\\S+\\t\\S+)\\t *(-?\\d+)\\t([^\\t]*)\\t *(-?\\d+)\\n");
        QByteArray expected;
        int rows = 0;
        for (const QRegularExpressionMatch& m : rowRe.globalMatch(listed.out)) {
            if (m.captured(1) >= firstDate && m.captured(1) <= lastDate &&
                (userNos.isEmpty() || userNos.contains(m.captured(2).toInt())) &&
                m.captured(3).contains(name, Qt::CaseInsensitive) &&
                (timers.isEmpty() || timers.contains(m.captured(4).toInt()))) {
                expected += m.captured(0).toUtf8();
                ++rows;
            }
        }
        QVERIFY(!expected.isEmpty());
        // list takes the same filters.
        const Run filtered = run(QStringList{"list", db} + options);
        QCOMPARE(filtered.err, QString());
        QCOMPARE(filtered.rawOut, expected);

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
