// The document's open and create operations on real files, and the state
// they leave behind.

#include "db/location/nativename.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"
#include "tests/support/testdb.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>
#include <utility>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int rowsListed()
{
    return g_pSet ? static_cast<int>(g_pSet->CountRows()) : -1;
}

} // namespace

class TestDbDocument : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_good; // a database with one event
    QString m_previousCwd;

    QString file(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_previousCwd = QDir::currentPath();
        m_good = file("good.db");
        QVERIFY(testdb::copyTemplate(m_good));
        QCOMPARE(testdb::exec(m_good, {"INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                       "(5, '2009-10-21 09:05:03', 7, '0')"}),
                 QString());
    }

    void cleanup() { QDir::setCurrent(m_previousCwd); }

    void openSetsTheSharedState()
    {
        testdb::RecordingMessages messages;
        CZq6Doc doc(&messages);
        QVERIFY(!doc.m_bDbOpen);
        QVERIFY(doc.OnOpenDocument(m_good));
        QVERIFY(messages.messages.isEmpty());
        QVERIFY(doc.m_bDbOpen);
        QCOMPARE(g_strDbPath, m_good);
        QVERIFY(g_db.IsOpen());
        QVERIFY(g_pSet && g_pSet->IsOpen());
        QCOMPARE(g_pSet->m_strSort, QStringLiteral("[EVENTS].[INDEX], [USERS].[INDEX]"));
        QCOMPARE(g_pSet->m_TIMER, 5);

        // A new document changes nothing of the database.
        QVERIFY(doc.OnNewDocument());
        QCOMPARE(doc.GetTitle(), QStringLiteral("Event"));
        QVERIFY(doc.m_bDbOpen);
        QCOMPARE(g_strDbPath, m_good);
        QCOMPARE(rowsListed(), 1);
    }

    void failedOpenKeepsThePreviousDatabase_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("sql"); // applied to a template copy when content is empty
        QTest::addColumn<QString>("expected");

        QByteArray sqliteHead("SQLite format 3");
        sqliteHead.append('\0');
        QByteArray truncated = readFile(QStringLiteral(ZQ_BIN_DIR "/template.db")).left(1500);
        QByteArray random(4096, '\0');
        for (int i = 0; i < random.size(); ++i)
            random[i] = char((i * 7919 + 13) % 251);
        QByteArray access(64, '\0');
        access.replace(4, 15, "Standard Jet DB");
        QByteArray ace(64, '\0');
        ace.replace(4, 15, "Standard ACE DB");

        QTest::newRow("missing") << QByteArray("-") << QString() << "does not exist";
        QTest::newRow("empty") << QByteArray() << QStringLiteral("-") << "is empty";
        QTest::newRow("text") << QByteArray("hello\nworld\n") << QString()
                              << "not a ZQreader database";
        QTest::newRow("random") << random << QString() << "not a ZQreader database";
        QTest::newRow("header only") << sqliteHead << QString() << "\"";
        QTest::newRow("truncated") << truncated << QString() << "\"";
        QTest::newRow("access jet") << access << QString() << "Access database";
        QTest::newRow("access ace") << ace << QString() << "Access database";
        QTest::newRow("no USERS") << QByteArray() << "DROP TABLE USERS"
                                  << "has no table USERS";
        QTest::newRow("no column") << QByteArray() << "ALTER TABLE EVENTS DROP COLUMN BUTTON"
                                   << "has no column BUTTON";
        QTest::newRow("text USER_NO")
            << QByteArray()
            << "DROP TABLE USERS; CREATE TABLE USERS (\"INDEX\" INTEGER PRIMARY KEY, NAME TEXT, "
               "USER_NO TEXT, DATE_START DATETIME, DATE_STOP DATETIME)"
            << "Column USER_NO of table USERS";
        QTest::newRow("integer DATE")
            << QByteArray()
            << "DROP TABLE EVENTS; CREATE TABLE EVENTS (\"INDEX\" INTEGER PRIMARY KEY, TIMER "
               "INTEGER, DATE INTEGER, USER_NO INTEGER, BUTTON TEXT)"
            << "Column DATE of table EVENTS";
        QTest::newRow("unnumbered INDEX")
            << QByteArray()
            << "DROP TABLE EVENTS; CREATE TABLE EVENTS (\"INDEX\" INT, TIMER INTEGER, DATE "
               "DATETIME, USER_NO INTEGER, BUTTON TEXT)"
            << "not numbered by the database";
    }

    void failedOpenKeepsThePreviousDatabase()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, sql);
        QFETCH(QString, expected);

        const QString bad = file("bad.db");
        QFile::remove(bad);
        if (!sql.isEmpty() && sql != QLatin1String("-")) {
            QVERIFY(testdb::copyTemplate(bad));
            QCOMPARE(testdb::exec(bad, sql.split(QStringLiteral("; "))), QString());
        } else if (content != "-") {
            writeFile(bad, content);
        }
        const QByteArray before = readFile(bad);

        testdb::RecordingMessages messages;
        CZq6Doc doc(&messages);
        // First with no database open, then with one.
        QVERIFY(!doc.OnOpenDocument(bad));
        QCOMPARE(messages.messages.size(), 1);
        QCOMPARE(messages.messages.first().Caption(), QStringLiteral("Error"));
        QVERIFY2(messages.last().contains(expected), qPrintable(messages.last()));
        QVERIFY2(messages.last().contains(QDir::toNativeSeparators(bad)) ||
                     expected.startsWith("has no"),
                 qPrintable(messages.last()));
        QVERIFY(!doc.m_bDbOpen);
        QVERIFY(!g_pSet);
        QVERIFY(!g_db.IsOpen());

        QVERIFY(doc.OnOpenDocument(m_good));
        CZq6Set* listed = g_pSet;
        QVERIFY(!doc.OnOpenDocument(bad));
        QVERIFY(doc.m_bDbOpen);
        QCOMPARE(g_strDbPath, m_good);
        QCOMPARE(g_pSet, listed);
        QVERIFY(g_pSet->IsOpen());
        QCOMPARE(rowsListed(), 1);
        QCOMPARE(readFile(bad), before); // nothing written to the rejected file
    }

    void openingAnotherDatabaseReplacesTheSet()
    {
        const QString other = file("other.db");
        QVERIFY(testdb::copyTemplate(other));
        testdb::RecordingMessages messages;
        CZq6Doc doc(&messages);
        QVERIFY(doc.OnOpenDocument(m_good));
        QCOMPARE(rowsListed(), 1);
        QVERIFY(doc.OnOpenDocument(other));
        QCOMPARE(g_strDbPath, other);
        QCOMPARE(rowsListed(), 0);
        QCOMPARE(g_db.GetPath(), other);
    }

    void createCopiesTheTemplateAndOpensIt()
    {
        QDir::setCurrent(ZQ_BIN_DIR);
        const QString created = file("created.db");
        writeFile(created, "an older file that is replaced");
        testdb::RecordingMessages messages;
        CZq6Doc doc(&messages);
        QVERIFY(doc.OnOpenDocument(m_good));
        QVERIFY(doc.OnSaveDocument(created));
        QCOMPARE(readFile(created), readFile(QStringLiteral(ZQ_BIN_DIR "/template.db")));
        QCOMPARE(messages.messages.size(), 1);
        QCOMPARE(messages.last(), "A new database has been created:  " + created);
        QCOMPARE(messages.messages.first().Caption(), QStringLiteral("OK"));
        QCOMPARE(g_strDbPath, created);
        QCOMPARE(rowsListed(), 0);
    }

    void createOverTheOpenDatabase()
    {
        QDir::setCurrent(ZQ_BIN_DIR);
        const QString path = file("reused.db");
        QVERIFY(testdb::copyTemplate(path));
        QCOMPARE(testdb::exec(path, {"INSERT INTO EVENTS (TIMER) VALUES (1)"}), QString());
        testdb::RecordingMessages messages;
        CZq6Doc doc(&messages);
        QVERIFY(doc.OnOpenDocument(path));
        QCOMPARE(rowsListed(), 1);
        QVERIFY(doc.OnSaveDocument(path));
        QCOMPARE(rowsListed(), 0);
        QCOMPARE(testdb::scalar(path, "SELECT COUNT(*) FROM EVENTS").toInt(), 0);
        QVERIFY(doc.m_bDbOpen);
        // Its journal is no place for a new database.
        QVERIFY(!doc.OnSaveDocument(path + "-journal"));
        QVERIFY2(messages.messages.last().detail.endsWith("it is not written over."),
                 qPrintable(messages.messages.last().detail));
        QVERIFY(!QFile::exists(path + "-journal"));
        QVERIFY(doc.m_bDbOpen);
    }

    void templateIsFoundAfterTheCurrentDirectoryMoved()
    {
        // The test program does not sit beside the template, so only the
        // current directory can supply it here.
        QTemporaryDir elsewhere;
        QDir::setCurrent(elsewhere.path());
        testdb::RecordingMessages messages;
        CZq6Doc doc(&messages);
        QVERIFY(doc.OnOpenDocument(m_good));
        QVERIFY(!doc.OnSaveDocument(file("nowhere.db")));
        QCOMPARE(messages.last(), QStringLiteral("Error while creating new database"));
        QCOMPARE(messages.messages.last().Caption(), QStringLiteral("Error"));
        QVERIFY(messages.messages.last().detail.contains("template.db"));
        QVERIFY(!QFile::exists(file("nowhere.db")));
        QCOMPARE(g_strDbPath, m_good); // the open database stays open and listed
        QCOMPARE(rowsListed(), 1);

        // Without one of the program's own, a template in the current
        // directory is taken.
        QVERIFY(testdb::copyTemplate(elsewhere.filePath("template.db")));
        QCOMPARE(testdb::exec(elsewhere.filePath("template.db"), {"PRAGMA user_version = 7"}),
                 QString());
        QVERIFY(doc.OnSaveDocument(file("fromcwd.db")));
        QCOMPARE(testdb::scalar(file("fromcwd.db"), "PRAGMA user_version").toInt(), 7);
    }

    void failedCopyLeavesEverythingAsItWas()
    {
        QDir::setCurrent(ZQ_BIN_DIR);
        testdb::RecordingMessages messages;
        CZq6Doc doc(&messages);
        QVERIFY(doc.OnOpenDocument(m_good));
        const QString target = file("no such folder/new.db");
        QVERIFY(!doc.OnSaveDocument(target));
        QCOMPARE(messages.last(), QStringLiteral("Error while creating new database"));
        QCOMPARE(g_strDbPath, m_good);
        QCOMPARE(rowsListed(), 1);

        // A read-only folder: the existing file there is not touched.
        QDir(m_dir.path()).mkdir("locked");
        const QString locked = file("locked/kept.db");
        writeFile(locked, "keep me");
        QFile::setPermissions(m_dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner);
        if (QFileInfo(m_dir.filePath("locked")).isWritable())
            QSKIP("running with rights that ignore folder permissions");
        QVERIFY(!doc.OnSaveDocument(locked));
        QCOMPARE(readFile(locked), QByteArray("keep me"));
        QCOMPARE(g_strDbPath, m_good);
    }

    void damagedTemplateChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("content"); // of the template; empty: unreadable
        QTest::addColumn<QString>("sql");        // applied to a copy of the built template
        QTest::addColumn<QString>("found");      // what the message names
        QTest::addColumn<QString>("target");     // missing, a database with events, or the open one

        const QByteArray good = readFile(QStringLiteral(ZQ_BIN_DIR "/template.db"));
        QByteArray random(4096, '\0');
        for (int i = 0; i < random.size(); ++i)
            random[i] = char((i * 7919 + 13) % 251);
        const struct
        {
            const char* name;
            QByteArray content;
            const char* sql;
            const char* found;
        } templates[] = {
            {"text", "damaged\n", "", "does not open"},
            {"truncated", good.left(good.size() / 2), "", "does not open"},
            {"not a database", random, "", "does not open"},
            {"unreadable", {}, "", "cannot be read"},
            {"trigger", good,
             "CREATE TRIGGER wipe AFTER INSERT ON EVENTS BEGIN DELETE FROM EVENTS;END",
             "trigger \"wipe\" on EVENTS"},
            {"view", good, "CREATE VIEW seen AS SELECT * FROM EVENTS", "view \"seen\""},
            {"table", good, "CREATE TABLE extra (x)", "table \"extra\""},
            {"index", good, "CREATE UNIQUE INDEX once ON EVENTS (TIMER)",
             "index \"once\" on EVENTS"},
            {"statistics", good, "ANALYZE", "table \"sqlite_stat1\""},
            {"other table", good,
             "DROP TABLE USERS; CREATE TABLE USERS (\"INDEX\" INTEGER PRIMARY KEY AUTOINCREMENT, "
             "NAME TEXT, USER_NO INTEGER CHECK (USER_NO < 3), DATE_START DATETIME, DATE_STOP "
             "DATETIME)",
             "table \"USERS\" defined otherwise"},
            {"no index", good, "DROP INDEX EVENTS_DATE", "no index \"EVENTS_DATE\" on EVENTS"},
            {"events", good, "INSERT INTO EVENTS (TIMER) VALUES (1)", "1 in EVENTS"},
            {"users", good, "INSERT INTO USERS (NAME) VALUES ('x')", "1 in USERS"},
            {"sequence", good, "INSERT INTO sqlite_sequence VALUES ('EVENTS', 9000)",
             "1 in sqlite_sequence"}};
        for (const auto& t : templates)
            for (const char* target : {"missing", "events", "open"})
                QTest::addRow("%s, %s", t.name, target)
                    << t.content << QString::fromLatin1(t.sql) << QString::fromLatin1(t.found)
                    << QString::fromLatin1(target);
    }

    void damagedTemplateChangesNothing()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, sql);
        QFETCH(QString, found);
        QFETCH(QString, target);

        QTemporaryDir dir; // its template is taken: it is the current directory
        const QString templatePath = dir.filePath("template.db");
        if (!sql.isEmpty()) {
            QVERIFY(testdb::copyTemplate(templatePath));
            QCOMPARE(testdb::exec(templatePath, sql.split(QStringLiteral("; "))), QString());
        } else if (content.isEmpty()) {
            QVERIFY(testdb::copyTemplate(templatePath));
            QVERIFY(QFile::setPermissions(templatePath, {}));
            if (QFile(templatePath).open(QIODevice::ReadOnly))
                QSKIP("running with rights that ignore file permissions");
        } else {
            writeFile(templatePath, content);
        }
        QDir::setCurrent(dir.path());
        QVERIFY(QDir(dir.path()).mkdir("db"));
        const QString path = dir.filePath("db/keep.db");
        if (target != QLatin1String("missing"))
            QVERIFY(QFile::copy(m_good, path));
        const QByteArray before = readFile(path);
        testdb::RecordingMessages messages;
        CZq6Doc doc(&messages);
        if (target == QLatin1String("open"))
            QVERIFY(doc.OnOpenDocument(path));

        QVERIFY(!doc.OnSaveDocument(path));
        QCOMPARE(messages.last(), QStringLiteral("Error while creating new database"));
        QCOMPARE(messages.messages.last().Caption(), QStringLiteral("Error"));
        QVERIFY2(messages.messages.last().detail.contains(templatePath) &&
                     messages.messages.last().detail.contains(found),
                 qPrintable(messages.messages.last().detail));
        QCOMPARE(readFile(path), before);
        const QStringList left =
            QDir(dir.filePath("db"))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QCOMPARE(left, target == QLatin1String("missing") ? QStringList() : QStringList{"keep.db"});
        QCOMPARE(doc.m_bDbOpen, target == QLatin1String("open"));
        if (doc.m_bDbOpen) {
            QCOMPARE(g_strDbPath, path);
            QCOMPARE(rowsListed(), 1);
        }
    }

    void namesOfAnyBytes_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("byte FF") << QByteArray("a\xFF.db");
        QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9.db");
        QTest::newRow("encoded surrogate") << QByteArray("\xED\xB3\xBF.db");
        QTest::newRow("private use") << QByteArray("\xEF\x9F\xBF.db"); // what holds 0xFF above
    }

    void namesOfAnyBytes()
    {
        QFETCH(QByteArray, name);
        QDir::setCurrent(ZQ_BIN_DIR);
        QTemporaryDir dir;
        const QByteArray bytes = QFile::encodeName(dir.path()) + '/' + name;
        const auto removeIt = qScopeGuard([&] { ::unlink(bytes.constData()); });
        const QString path = DecodeFileName(bytes);
        QCOMPARE(EncodeFileName(path), bytes);
        testdb::RecordingMessages messages;
        CZq6Doc doc(&messages);
        QVERIFY2(doc.OnSaveDocument(path), qPrintable(messages.messages.last().detail));
        QVERIFY(doc.OnOpenDocument(path));
        QCOMPARE(g_strDbPath, path);
        QCOMPARE(::unlink(bytes.constData()), 0);
        QCOMPARE(::rmdir(QFile::encodeName(dir.path()).constData()), 0); // nothing else was made
    }

    void appendIsAllOrNothing()
    {
        const QString path = file("append.db");
        QVERIFY(testdb::copyTemplate(path));
        testdb::RecordingMessages messages;
        CZq6Doc doc(&messages);
        QVERIFY(!doc.AppendEvents({{1, CTime(1000), 1, "0"}}));
        QCOMPARE(messages.last(), QStringLiteral("The database is not opened !"));

        QVERIFY(doc.OnOpenDocument(path));
        QVERIFY(doc.AppendEvents({{1, CTime(1000), 1, "0"}, {2, CTime(2000), 2, "1"}}));
        QCOMPARE(testdb::scalar(path, "SELECT COUNT(*) FROM EVENTS").toInt(), 2);
        QCOMPARE(testdb::exec(path, {"CREATE TRIGGER refuse BEFORE INSERT ON EVENTS WHEN "
                                     "NEW.TIMER = 9 BEGIN SELECT RAISE(ABORT, 'full'); END"}),
                 QString());
        QVERIFY(!doc.AppendEvents({{3, CTime(3000), 1, "0"}, {9, CTime(4000), 1, "0"}}));
        QVERIFY(messages.last().contains("full"));
        QCOMPARE(testdb::scalar(path, "SELECT COUNT(*) FROM EVENTS").toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(TestDbDocument)
#include "test_db_document.moc"
