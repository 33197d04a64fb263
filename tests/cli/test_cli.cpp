// zqreader-cli run as a program: new and list on files written by sqlite3.

#include "../support/fakemdbtools.h"
#include "../support/programrun.h"
#include "../support/simprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Run = testrun::Result;

Run run(const QStringList& args, const QString& workDir = {}, const QString& program = {})
{
    testrun::Options o{.env = testrun::BerlinEnvironment(), .workDir = workDir};
    if (!program.isEmpty())
        o.program = program;
    return testrun::Run(args, o);
}

// Runs program with the arguments, an "@" at the start of each standing for
// the file name of exactly these bytes: the shell's printf makes it, as
// QProcess would pass it as UTF-8.
Run runNamed(const QString& program, const QStringList& args, const QByteArray& name)
{
    QByteArray octal;
    for (const char c : name)
        octal += '\\' + QByteArray::number(uchar(c), 8).rightJustified(4, '0');
    return run(QStringList{"-c",
                           "n=$(printf '%b' \"$1\"); shift; for a; do case $a in @*) "
                           "a=$n${a#@};; esac; set -- \"$@\" \"$a\"; shift; done; exec \"$@\"",
                           "sh", QString::fromLatin1(octal), program} +
                   args,
               {}, QStringLiteral("/bin/sh"));
}

// The names in a folder, as bytes.
QList<QByteArray> entries(const QString& folder)
{
    QList<QByteArray> names;
    if (DIR* d = ::opendir(QFile::encodeName(folder).constData())) {
        while (const dirent* e = ::readdir(d)) {
            if (qstrcmp(e->d_name, ".") && qstrcmp(e->d_name, ".."))
                names << QByteArray(e->d_name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Files by names of any bytes, which Qt's own file functions do not take.
void writeNamed(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
}

QByteArray readNamed(const QByteArray& path)
{
    QByteArray bytes(4096, '\0');
    const int fd = ::open(path.constData(), O_RDONLY);
    bytes.truncate(std::max<ssize_t>(::read(fd, bytes.data(), size_t(bytes.size())), 0));
    ::close(fd);
    return bytes;
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

    void templateOfTheCurrentFolderIsNotTaken_data()
    {
        QTest::addColumn<QByteArray>("content"); // of the template in the current folder
        QTest::addColumn<QString>("sql");        // applied to it
        QTest::addColumn<bool>("existing");
        QTest::addColumn<int>("length"); // of the database's path, 0: short
        QFile good(QStringLiteral(ZQ_BIN_DIR "/template.db"));
        QVERIFY(good.open(QIODevice::ReadOnly));
        const QByteArray sound = good.readAll();
        for (bool existing : {false, true}) {
            QTest::addRow("text, %d", existing) << QByteArray("damaged\n") << "" << existing << 0;
            QTest::addRow("truncated, %d", existing)
                << sound.left(sound.size() / 2) << "" << existing << 0;
            QTest::addRow("trigger, %d", existing)
                << sound
                << "CREATE TRIGGER wipe AFTER INSERT ON EVENTS BEGIN DELETE FROM EVENTS; END;"
                << existing << 0;
        }
        // Too long a path for the database layer.
        QTest::newRow("sound, long path") << sound << "" << true << 520;
    }

    void templateOfTheCurrentFolderIsNotTaken()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, sql);
        QFETCH(bool, existing);
        QFETCH(int, length);
        QTemporaryDir dir; // the current folder, with a template of its own
        QFile planted(dir.filePath("template.db"));
        QVERIFY(planted.open(QIODevice::WriteOnly));
        planted.write(content);
        planted.close();
        if (!sql.isEmpty()) {
            QProcess tool;
            tool.start("sqlite3", {planted.fileName(), sql});
            QVERIFY(tool.waitForFinished() && tool.exitCode() == 0);
        }
        QString folder = dir.filePath("db");
        while (folder.size() + 8 < length)
            folder += '/' + QString(std::min<qsizetype>(length - folder.size() - 9, 200), 'd');
        QVERIFY(QDir().mkpath(folder));
        const QString db = folder + "/keep.db";
        const QByteArray kept = "a database that must stay";
        if (existing) {
            QFile f(db);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(kept);
        }
        const Run r = run({"new", db}, dir.path());
        QFile f(db);
        const QByteArray made = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        QFile own(QStringLiteral(ZQ_BIN_DIR "/template.db"));
        QVERIFY(own.open(QIODevice::ReadOnly));
        if (length == 0) {
            // The program's own template, whatever lies in the current folder.
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(made, own.readAll());
            return;
        }
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.startsWith("Error while creating new database\nThe copy of the template " +
                                  own.fileName()),
                 qPrintable(r.err));
        QCOMPARE(entries(folder), QList<QByteArray>{"keep.db"});
        QCOMPARE(made, kept);
    }

    void specialFilesAreRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("kind");
        for (const char* command : {"list", "read", "new"})
            for (const char* kind : {"folder", "named pipe", "socket", "device"})
                QTest::addRow("%s %s", command, kind) << command << kind;
    }

    void specialFilesAreRefusedAtOnce()
    {
        QFETCH(QString, command);
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path = dir.filePath("special");
        const QByteArray name = QFile::encodeName(path);
        int made = 0;
        if (kind == "folder") {
            made = ::mkdir(name.constData(), 0755);
        } else if (kind == "named pipe") {
            made = ::mkfifo(name.constData(), 0644);
        } else if (kind == "socket") {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            qstrncpy(address.sun_path, name.constData(), sizeof address.sun_path);
            const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
            made = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
            ::close(s);
        } else if (command != "new") {
            path = QStringLiteral("/dev/null"); // only read
        } else {
            // A device of our own: the system's must not be at stake.
            made = ::mknod(name.constData(), S_IFCHR | 0666, makedev(1, 3));
        }
        if (made != 0)
            QSKIP("cannot make one here");
        struct stat before, after;
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &before), 0);

        // An open that blocks shows as a run that does not end (exit code -1).
        const Run r = run({command, path});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("\"" + path + "\" is a " + kind), qPrintable(r.err));
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(entries(dir.path()).size(), path.startsWith(dir.path()) ? 1 : 0);
    }

    void namesThatAreNotUtf8_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("byte FF") << QByteArray("a\xFF.db") << QStringLiteral("a\uFFFD.db");
        QTest::newRow("Latin-1") << QByteArray("caf\xE9.db") << QStringLiteral("caf\uFFFD.db");
        QTest::newRow("UTF-8") << QByteArray("za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87.db")
                               << QStringLiteral("za\u017C\u00F3\u0142\u0107.db");
    }

    void namesThatAreNotUtf8()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.path()) + '/' + name;
        const QString cli = QStringLiteral(ZQ_BIN_DIR "/zqreader-cli");
        const auto removeIt = qScopeGuard([&] { ::unlink(path.constData()); });

        const Run created = runNamed(cli, {"new", "@"}, path);
        QCOMPARE(created.err, QString());
        QCOMPARE(created.out,
                 "A new database has been created:  " + dir.path() + '/' + shown + '\n');
        QCOMPARE(entries(dir.path()), QList<QByteArray>{name});

        const QString sqlite3 = QStandardPaths::findExecutable("sqlite3");
        if (sqlite3.isEmpty())
            QSKIP("the sqlite3 tool is not installed");
        QCOMPARE(runNamed(sqlite3,
                          {"@", "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                "(5, '2009-10-21 09:05:03', 7, '0')"},
                          path)
                     .err,
                 QString());
        const Run listed = runNamed(cli, {"list", "@"}, path);
        QCOMPARE(listed.err, QString());
        QCOMPARE(listed.out, QStringLiteral("2009-10-21\t09:05:03\t     7\t\t     5\n"));
        QCOMPARE(entries(dir.path()), QList<QByteArray>{name});

        // Every file the program reads or writes by such a name.
        const auto removeMore = qScopeGuard([&] {
            for (const char* suffix : {".csv", ".users", ".mdb", ".from-mdb"})
                ::unlink((path + suffix).constData());
        });
        writeNamed(path + ".users", "name,user_no,from,to\nAnna,7,2009-01-01 00:00,\n");
        QCOMPARE(runNamed(cli, {"users", "import", "@", "@.users"}, path).err, QString());
        const Run exported = runNamed(cli, {"export", "@", "--output", "@.csv"}, path);
        QCOMPARE(exported.err, QString());
        QCOMPARE(exported.out, "Number of exported rows:  1\n");
        writeNamed(path + ".mdb", fakemdb::accessFileBytes());
        const QString tools = dir.filePath("tools");
        QVERIFY(QDir().mkpath(tools) &&
                fakemdb::writeTools(tools, "", "3,7,\"2024-01-02 03:04:05\",1,\"0\"\\n"));
        const Run imported = runNamed(
            "/usr/bin/env",
            {"PATH=" + tools + ":/usr/bin:/bin", cli, "import", "@.mdb", "@.from-mdb"}, path);
        QCOMPARE(imported.err, QString());
        QList<QByteArray> made{name,          name + ".csv",   name + ".from-mdb",
                               name + ".mdb", name + ".users", "tools"};
        std::sort(made.begin(), made.end());
        QCOMPARE(entries(dir.path()), made);
        QCOMPARE(readNamed(path + ".csv"), "date,time,user_no,user_name,timer,button\r\n"
                                           "2009-10-21,09:05:03,7,Anna,5,0\r\n");

        // The template beside the program is found whatever the folder's name.
        const QByteArray folder = path + ".d";
        const auto removeFolder = qScopeGuard([&] {
            for (const char* file : {"/template.db", "/zqreader-cli", "/x.db"})
                ::unlink((folder + file).constData());
            ::rmdir(folder.constData());
        });
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        writeNamed(folder + "/template.db", "damaged\n");
        QFile program(cli);
        QVERIFY(program.open(QIODevice::ReadOnly));
        writeNamed(folder + "/zqreader-cli", program.readAll());
        QCOMPARE(::chmod((folder + "/zqreader-cli").constData(), 0700), 0);
        const Run fromThere =
            runNamed("/bin/sh", {"-c", "cd \"$0\" && exec ./zqreader-cli new x.db", "@.d"}, path);
        QCOMPARE(fromThere.exitCode, 1);
        QVERIFY2(fromThere.err.contains("The copy of the template " + dir.path() + '/' + shown +
                                        ".d/template.db"),
                 qPrintable(fromThere.err));
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

        for (const QStringList& args : {QStringList{"list", "x.db", "--user", "abc"},
                                        QStringList{"list", "x.db", "--user", "1", "--user", "511"},
                                        QStringList{"list", "x.db", "--button", "2"},
                                        QStringList{"export", "x.db", "--name", ""},
                                        QStringList{"list", "x.db", "--from", "2024-13-01"},
                                        QStringList{"list", "x.db", "--output", "x.csv"},
                                        QStringList{"new", "x.db", "--user", "1"}}) {
            const Run usage = run(args);
            QCOMPARE(usage.exitCode, 2);
            QVERIFY(usage.err.contains("Usage:"));
        }
        const Run version = run({"--version"});
        QCOMPARE(version.exitCode, 0);
        QVERIFY(version.out.startsWith("zqreader-cli "));
        const Run help = run({"--help"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains("Exit status:"));
    }

    // A database that cannot take the events, here for a file size limit:
    // the system's reason, as new and export give it, and nothing stored.
    void readBeyondAFileSizeLimitStoresNothing()
    {
        SimProcess receiver;
        QVERIFY(receiver.Start({"--generate", "3000", "--pace", "0"}));
        const QString db = m_dir.filePath("limited.db");
        QCOMPARE(run({"new", db}).exitCode, 0);
        // In the shell's blocks of 512 bytes: 4 KiB more than the new file.
        const qint64 blocks = (QFileInfo(db).size() + 4096) / 512;
        const Run r = run({"-c", QStringLiteral("ulimit -f %1; exec \"$@\"").arg(blocks), "sh",
                           ZQ_BIN_DIR "/zqreader-cli", "read", db, "--port", receiver.PortPath()},
                          {}, QStringLiteral("/bin/sh"));
        QVERIFY2(r.exitCode == 1 || r.exitCode == 75, qPrintable(r.err));
        QVERIFY2(r.err.contains("Can't add events to the database\n") &&
                     r.err.contains(": File too large. Nothing of this download was stored"),
                 qPrintable(r.err));
        const Run listed = run({"list", db});
        QCOMPARE(listed.exitCode, 0);
        QCOMPARE(listed.out, QString());
    }

    // A wrong command line: the error, the usage of that command and where
    // the help is, never the whole help; nothing is opened.
    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("usage");
        const QString any = "Usage: zqreader-cli COMMAND [ARGUMENTS]";
        const QString exportUsage = "Usage: zqreader-cli export DB [--from DATE]";
        const QString addUsage = "Usage: zqreader-cli users add DB NAME USER_NO FROM [TO]\n";
        QTest::newRow("unknown command")
            << QStringList{"frobnicate", "x.db"} << "unknown command \"frobnicate\"" << any;
        QTest::newRow("unknown option")
            << QStringList{"--no-such-option"} << "no-such-option" << any;
        QTest::newRow("list without DB") << QStringList{"list"} << "list takes one database file"
                                         << "Usage: zqreader-cli list DB [--from DATE]";
        QTest::newRow("option of another command")
            << QStringList{"list", "x.db", "--port", "ttyS0"} << "--port is an option of read"
            << "Usage: zqreader-cli list DB [--from DATE]";
        QTest::newRow("port name with a control character")
            << QStringList{"read", "x.db", "--port", "tty\aS0"}
            << "The port name \"tty\\x07S0\" holds a control character"
            << "Usage: zqreader-cli read DB [--port NAME]";
        QTest::newRow("URL that names no port")
            << QStringList{"read", "x.db", "--port", "socket://rx-door"}
            << "socket://rx-door is not a port: no TCP port after the host"
            << "Usage: zqreader-cli read DB [--port NAME]";
        QTest::newRow("export --user abc") << QStringList{"export", "x.db", "--user", "abc"}
                                           << "--user \"abc\" is not a user number" << exportUsage;
        QTest::newRow("users add user number abc")
            << QStringList{"users", "add", "x.db", "Anna", "abc", "2024-01-01 00:00"}
            << "the user number \"abc\" is not a whole number" << addUsage;
        QTest::newRow("users add bad date")
            << QStringList{"users", "add", "x.db", "Anna", "3", "2024-13-01 00:00"}
            << "the start \"2024-13-01 00:00\" is not a date" << addUsage;
        QTest::newRow("unknown users command")
            << QStringList{"users", "frob", "x.db"} << "unknown users command \"frob\""
            << "Usage: zqreader-cli users list DB\n";
    }

    void usageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        QFETCH(QString, usage);
        const Run wrong = run(args, m_dir.path());
        QCOMPARE(wrong.exitCode, 2);
        QCOMPARE(wrong.out, QString());
        QVERIFY2(wrong.err.startsWith("zqreader-cli: ") && wrong.err.contains(error) &&
                     wrong.err.contains(usage) &&
                     wrong.err.endsWith("\nTry 'zqreader-cli --help'.\n") &&
                     wrong.err.count('\n') <= 6,
                 qPrintable(wrong.err));
        QVERIFY(!QFile::exists(m_dir.filePath("x.db")));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
