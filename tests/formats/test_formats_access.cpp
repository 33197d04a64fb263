// Converting Access databases: the checked mapping through tables held in
// memory into real database files, the reading of mdb-export's output, and
// the mdbtools reader on a real Access file.

#include "../support/fakemdbtools.h"
#include "../support/testdb.h"
#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/events.h"
#include "formats/accessimport.h"
#include "formats/accessmdbtools.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <ctime>

namespace {

struct MemoryTable
{
    QVector<AccessColumn> columns;
    QVector<AccessRow> rows;
};

// Access tables held in memory; Rows() may also make rows on the fly.
class MemorySource : public AccessTableSource
{
public:
    QMap<QString, MemoryTable> tables;
    std::function<void(const std::function<bool(const AccessRow&)>&)> generatedEvents;

    QStringList Tables() override { return tables.keys(); }
    QVector<AccessColumn> Columns(const QString& t) override { return tables.value(t).columns; }
    qint64 RowCount(const QString& t) override { return tables.value(t).rows.size(); }
    void ReadRows(const QString& t, const std::function<bool(const AccessRow&)>& onRow) override
    {
        if (t == QLatin1String("Events") && generatedEvents)
            return generatedEvents(onRow);
        for (const AccessRow& row : std::as_const(tables[t].rows)) {
            if (!onRow(row))
                return;
        }
    }
};

AccessColumn col(const char* name, AccessType type, const char* typeName)
{
    return {QLatin1String(name), type, QLatin1String(typeName)};
}

// Names in another case than ours, as Access files may have them; an extra
// column that is not copied.
MemorySource sampleSource()
{
    MemorySource s;
    s.tables[QStringLiteral("Users")] = {
        {col("INDEX", AccessType::LongInteger, "Long Integer"),
         col("Name", AccessType::Text, "Text (50)"), col("USER_NO", AccessType::Integer, "Integer"),
         col("DATE_START", AccessType::DateTime, "DateTime"),
         col("DATE_STOP", AccessType::DateTime, "DateTime")},
        {{"2", "Anna Kowal", "3", "2023-01-01 00:00:00", "2100-01-01 00:00:00"},
         {"5", QString(), "4", "2023-03-26 02:00:00", QString()}}};
    s.tables[QStringLiteral("Events")] = {{col("INDEX", AccessType::LongInteger, "Long Integer"),
                                           col("TIMER", AccessType::LongInteger, "Long Integer"),
                                           col("NOTE", AccessType::Memo, "Memo/Hyperlink"),
                                           col("DATE", AccessType::DateTime, "DateTime"),
                                           col("USER_NO", AccessType::Byte, "Byte"),
                                           col("BUTTON", AccessType::Text, "Text (255)")},
                                          // Berlin: 02:30 on 26 March 2023 never happened, 02:30 on
                                          // 29 October happened twice.
                                          {{"3", "4194303", "x", "2023-03-26 02:30:00", "3", "0"},
                                           {"7", "12", QString(), "2023-10-29 02:30:00", "-1", ""},
                                           {"8", "13", "y", "2023-10-29 02:30:00", "3", QString()},
                                           {"40", "0", "z", QString(), "510", "1"}}};
    return s;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class CancellingProgress : public ImportProgress
{
public:
    void Step(const QString&, qint64) override {}
    bool Advance(qint64) override { return false; }
};

} // namespace

class TestDbAccess : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        // The dates below are around Berlin's changes of 2023.
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
        QVERIFY(QDir::setCurrent(QStringLiteral(ZQ_BIN_DIR)));
    }

    void copiesEveryValueAndIndex()
    {
        const QString target = m_dir.filePath("copied.db");
        MemorySource source = sampleSource();
        auto sink = NewDatabaseFileSink(target);
        const ImportCounts counts = ImportAccessTables(source, *sink);
        QCOMPARE(counts.users, 2);
        QCOMPARE(counts.events, 4);

        const auto events = testdb::rows(
            target, "SELECT \"INDEX\", TIMER, DATE, USER_NO, quote(BUTTON), typeof(TIMER) "
                    "FROM EVENTS ORDER BY \"INDEX\"");
        const QVector<QVariantList> expected{
            {3, 4194303, "2023-03-26 02:30:00", 3, "'0'", "integer"},
            {7, 12, "2023-10-29 02:30:00", -1, "''", "integer"},
            {8, 13, "2023-10-29 02:30:00", 3, "NULL", "integer"},
            {40, 0, QVariant(), 510, "'1'", "integer"}};
        QCOMPARE(events.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            for (int c = 0; c < expected[i].size(); ++c)
                QCOMPARE(events[i][c].toString(), expected[i][c].toString());
        }
        QVERIFY(events[3][2].isNull());
        QCOMPARE(testdb::rows(target, "SELECT \"INDEX\", quote(NAME), USER_NO, DATE_START, "
                                      "quote(DATE_STOP) FROM USERS ORDER BY \"INDEX\""),
                 (QVector<QVariantList>{
                     {2, "'Anna Kowal'", 3, "2023-01-01 00:00:00", "'2100-01-01 00:00:00'"},
                     {5, "NULL", 4, "2023-03-26 02:00:00", "NULL"}}));

        // The next download goes on after the newest converted event.
        {
            CDatabase db;
            db.OpenFile(target);
            CEVENTS last(&db);
            last.Open(CRecordset::dynaset);
            last.MoveLast();
            QCOMPARE(last.m_INDEX, 40);
            QCOMPARE(last.m_BUTTON, QStringLiteral("1"));
            AppendEventBatch(last, {NewEvent{99, CTime(1700000000), 3, "0"}});
            QCOMPARE(last.m_INDEX, 41);
            last.Close();
        }
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"copied.db"});
    }

    void refusedWithTheReason_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no EVENTS") << "drop Events"
                                   << "It has no table EVENTS.";
        QTest::newRow("no USERS") << "drop Users"
                                  << "It has no table USERS.";
        QTest::newRow("column missing") << "no DATE"
                                        << "Table Events has no column DATE.";
        QTest::newRow("text timer") << "TIMER is text"
                                    << "Column TIMER of table Events is of type Text (50), which "
                                       "does not hold whole numbers.";
        QTest::newRow("not a number") << "TIMER abc"
                                      << "Row 2 of table Events: TIMER is \"abc\"";
        QTest::newRow("not a date") << "DATE 26.03.2023"
                                    << "Row 2 of table Events: DATE is \"26.03.2023 02:30\"";
        QTest::newRow("no INDEX") << "INDEX null"
                                  << "Row 2 of table Events has no INDEX.";
        QTest::newRow("INDEX twice") << "INDEX twice"
                                     << "UNIQUE";
        QTest::newRow("short row") << "short row"
                                   << "Row 2 of table Events has 5 values";
        QTest::newRow("cancelled") << "cancel" << ImportCancelledMessage();
    }

    void refusedWithTheReason()
    {
        QFETCH(QString, change);
        QFETCH(QString, reason);
        MemorySource source = sampleSource();
        MemoryTable& events = source.tables[QStringLiteral("Events")];
        if (change.startsWith("drop "))
            source.tables.remove(change.mid(5));
        else if (change == "no DATE")
            events.columns[3].name = "DAY";
        else if (change == "TIMER is text")
            events.columns[1] = col("TIMER", AccessType::Text, "Text (50)");
        else if (change == "TIMER abc")
            events.rows[1][1] = "abc";
        else if (change == "DATE 26.03.2023")
            events.rows[1][3] = "26.03.2023 02:30";
        else if (change == "INDEX null")
            events.rows[1][0] = QString();
        else if (change == "INDEX twice")
            events.rows[2][0] = "7";
        else if (change == "short row")
            events.rows[1].removeLast();

        // What was at the target stays, and nothing is left beside it.
        const QString target = m_dir.filePath("refused.db");
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("what was there");
        old.close();
        CancellingProgress cancel;
        try {
            auto sink = NewDatabaseFileSink(target);
            ImportAccessTables(source, *sink, change == "cancel" ? &cancel : nullptr);
            QFAIL("converted");
        } catch (const CDBException& e) {
            QVERIFY2(e.m_strError.contains(reason), qPrintable(e.m_strError));
        }
        QCOMPARE(fileBytes(target), QByteArray("what was there"));
        QCOMPARE(QDir(m_dir.path()).entryList({"refused*"}, QDir::Files),
                 QStringList{"refused.db"});
    }

    void emptyUsersAndManyEvents()
    {
        constexpr int kEvents = 100000;
        MemorySource source = sampleSource();
        source.tables[QStringLiteral("Users")].rows.clear();
        source.generatedEvents = [](const std::function<bool(const AccessRow&)>& onRow) {
            for (int i = 1; i <= kEvents; ++i) {
                if (!onRow({QString::number(i * 2), QString::number(i), QString(),
                            QStringLiteral("2024-05-01 12:00:00"), QString::number(i % 500),
                            QStringLiteral("1")}))
                    return;
            }
        };
        const QString target = m_dir.filePath("many.db");
        QElapsedTimer timer;
        timer.start();
        auto sink = NewDatabaseFileSink(target);
        const ImportCounts counts = ImportAccessTables(source, *sink);
        qInfo("%d events converted in %lld ms", kEvents, static_cast<long long>(timer.elapsed()));
        QCOMPARE(counts.users, 0);
        QCOMPARE(counts.events, kEvents);
        QCOMPARE(
            testdb::rows(target, "SELECT count(*), max(\"INDEX\"), sum(TIMER) FROM EVENTS"),
            (QVector<QVariantList>{{kEvents, kEvents * 2, qint64(kEvents) * (kEvents + 1) / 2}}));
        QCOMPARE(testdb::scalar(target, "SELECT count(*) FROM USERS").toInt(), 0);
    }

    void readsMdbExportOutput_data()
    {
        QTest::addColumn<int>("piece");
        QTest::newRow("whole") << 0;
        QTest::newRow("byte by byte") << 1;
        QTest::newRow("in threes") << 3;
    }

    void readsMdbExportOutput()
    {
        // Text and dates quoted with '"' and '\' escaped, numbers bare, NULL
        // as nothing, an empty text as "".
        const QByteArray out = "1,\"a, \\\"b\\\" \\\\ c\",\"2023-10-29 02:30:00\",\n"
                               ",\"\",,\"two\nlines\"\n"
                               "-5,\"\xc3\xa9\",,0\n";
        QFETCH(int, piece);
        QVector<AccessRow> rows;
        MdbExportParser parser([&](const AccessRow& row) {
            rows.append(row);
            return true;
        });
        const int step = piece > 0 ? piece : int(out.size());
        for (qsizetype i = 0; i < out.size(); i += step)
            QVERIFY(parser.Feed(out.mid(i, step)));
        parser.Finish();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0], (AccessRow{"1", "a, \"b\" \\ c", "2023-10-29 02:30:00", QString()}));
        QVERIFY(rows[0][3].isNull());
        QVERIFY(rows[1][0].isNull() && !rows[1][1].isNull() && rows[1][1].isEmpty() &&
                rows[1][2].isNull());
        QCOMPARE(rows[1][3], QStringLiteral("two\nlines"));
        QCOMPARE(rows[2], (AccessRow{"-5", QString::fromUtf8("\xc3\xa9"), QString(), "0"}));

        MdbExportParser cut([](const AccessRow&) { return true; });
        cut.Feed("1,\"open");
        QVERIFY_THROWS_EXCEPTION(CDBException, cut.Finish());
    }

    // A program that never ends its line is stopped at the bound of a row,
    // long before the bound of its whole output, naming the table and the
    // bound.
    void rowsLongerThanTheirBoundAreRefused()
    {
        QTemporaryDir dir;
        const QString mdb = dir.filePath("old.mdb");
        QVERIFY(fakemdb::writeAccessFile(mdb));
        // 8 MiB of one-digit values without a line end, within the bound of
        // the whole output (16 MiB).
        QVERIFY(fakemdb::writeFile(dir.filePath("mdb-export"),
                                   "#!/bin/sh\nexec awk 'BEGIN { for (i = 0; i < 4194304; i++) "
                                   "printf \"1,\" }'\n",
                                   true));
        MdbToolsSource source(mdb, dir.path());
        qint64 rows = 0;
        try {
            source.ReadRows("EVENTS", [&](const AccessRow&) { return ++rows > 0; });
            QFAIL("read");
        } catch (const CDBException& e) {
            QCOMPARE(e.m_strError,
                     QStringLiteral("mdb-export wrote more than %1 bytes for row 1 of table EVENTS "
                                    "without ending it; no row may be longer. The file may be "
                                    "damaged.")
                         .arg(MdbExportParser::kMostRowBytes));
        }
        QCOMPARE(rows, 0);
    }

    void readsARealAccessFile()
    {
        const QString fruit = QStringLiteral(ZQ_TEST_DATA_DIR "/fruit.mdb");
        if (!QFile::exists(fruit))
            QSKIP("fruit.mdb was not fetched (scripts/fetch-test-data.sh needs npm and the "
                  "network)");
        if (QStandardPaths::findExecutable("mdb-export").isEmpty())
            QSKIP("mdbtools is not installed");
        const QByteArray before =
            QCryptographicHash::hash(fileBytes(fruit), QCryptographicHash::Sha256);

        MdbToolsSource source(fruit);
        QCOMPARE(source.Tables(),
                 (QStringList{"Fruit", "Fruit Salad", "Veggie Salad", "Muffin/Bread", "Dried"}));
        const QVector<AccessColumn> columns = source.Columns("Fruit");
        QCOMPARE(columns.size(), 11);
        QCOMPARE(columns[0].name, QStringLiteral("Fruit"));
        QCOMPARE(columns[0].type, AccessType::Text);
        QCOMPARE(columns[5].name, QStringLiteral("Vit A"));
        QCOMPARE(columns[5].type, AccessType::LongInteger);
        QCOMPARE(source.RowCount("Fruit"), 37);

        QVector<AccessRow> rows;
        source.ReadRows("Fruit", [&](const AccessRow& row) {
            rows.append(row);
            return true;
        });
        QCOMPARE(rows.size(), 37);
        QCOMPARE(rows[1],
                 (AccessRow{"Apricot", "2", "0", "1", "8", "420", "5", "0", "0", "0", "0"}));
        // The same values as mdb-export prints them by default.
        QProcess exported;
        exported.start("mdb-export", {"-H", "-Q", fruit, "Fruit"});
        QVERIFY(exported.waitForFinished());
        const QList<QByteArray> lines = exported.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), rows.size());
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(rows[i].join(u','), QString::fromUtf8(lines[i]));

        const QString target = m_dir.filePath("fruit.db");
        try {
            ImportAccessFile(fruit, target);
            QFAIL("converted");
        } catch (const CDBException& e) {
            QVERIFY2(e.m_strError.contains("It has no table USERS. It has no table EVENTS."),
                     qPrintable(e.m_strError));
        }
        QVERIFY(!QFile::exists(target));
        QCOMPARE(QCryptographicHash::hash(fileBytes(fruit), QCryptographicHash::Sha256), before);
    }
};

QTEST_GUILESS_MAIN(TestDbAccess)
#include "test_formats_access.moc"
