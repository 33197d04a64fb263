// The users' periods: checks, hand-over, overlaps, changes in one
// transaction; the CSV reader they are imported through.

#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/datetext.h"
#include "db/record/users.h"
#include "db/record/visibletext.h"
#include "formats/csv.h"
#include "tests/support/testdb.h"

#include <QMap>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(datetext::Problem)

namespace {

// "name|user_no|start|stop" per period, in the given order.
QStringList shown(const QVector<UserPeriod>& periods)
{
    QStringList out;
    for (const UserPeriod& p : periods)
        out << QStringLiteral("%1|%2|%3|%4").arg(p.name).arg(p.userNo).arg(p.start, p.stop);
    return out;
}

QVector<UserPeriod> periodsOf(const QStringList& rows)
{
    QVector<UserPeriod> out;
    for (const QString& row : rows) {
        const QStringList f = row.split(QLatin1Char('|'));
        out.append({out.size() + 1, f.at(0), f.at(1).toInt(), f.at(2), f.at(3)});
    }
    return out;
}

const QString kOpen = QLatin1String(users::kOpenEnd);

// "number: positions | pairs | pairs shown"
QString summary(const users::NumberOverlaps& n)
{
    QStringList positions;
    for (const int i : n.periods)
        positions << QString::number(i);
    QStringList pairs;
    for (const users::Overlap& o : n.shown)
        pairs << QStringLiteral("%1-%2").arg(o.first).arg(o.second);
    return QStringLiteral("%1: %2 | %3 | %4")
        .arg(n.userNo)
        .arg(positions.join(' '))
        .arg(n.pairs)
        .arg(pairs.join(' '));
}

} // namespace

class TestDbUsers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void check_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QStringList>("problems"); // a word of each problem
        QTest::newRow("fine") << "Anna|3|2024-01-01 00:00:00|2024-02-01 00:00:00" << QStringList();
        QTest::newRow("lowest and highest numbers")
            << "A|-1|2024-01-01 00:00:00|" + kOpen << QStringList();
        QTest::newRow("blank name")
            << " |3|2024-01-01 00:00:00|2024-02-01 00:00:00" << QStringList{"name"};
        QTest::newRow("number too high")
            << "A|511|2024-01-01 00:00:00|2024-02-01 00:00:00" << QStringList{"511"};
        QTest::newRow("number too low")
            << "A|-2|2024-01-01 00:00:00|2024-02-01 00:00:00" << QStringList{"-2"};
        QTest::newRow("no such day")
            << "A|1|2023-02-29 00:00:00|2024-02-01 00:00:00" << QStringList{"start"};
        QTest::newRow("no such hour")
            << "A|1|2023-02-01 00:00:00|2024-02-01 24:00:00" << QStringList{"end"};
        QTest::newRow("empty period")
            << "A|1|2024-02-01 00:00:00|2024-02-01 00:00:00" << QStringList{"before"};
        QTest::newRow("everything") << "|600|x|y" << QStringList{"name", "600", "start", "end"};
        const QString period = QStringLiteral("|3|2024-01-01 00:00:00|2024-02-01 00:00:00");
        QTest::newRow("tab") << "A\tB" + period << QStringList{"\"A\\tB\" holds a control"};
        QTest::newRow("line feed") << "A\nB" + period << QStringList{"A\\nB"};
        QTest::newRow("NUL") << QString("A") + QChar(0) + "B" + period << QStringList{"A\\x00B"};
        QTest::newRow("C1") << QString("A") + QChar(0x85) + period << QStringList{"A\\x85"};
        QTest::newRow("line separator")
            << QString("A") + QChar(0x2028) + period << QStringList{"A\\u2028"};
        QTest::newRow("only a tab") << "\t" + period << QStringList{"empty", "\\t"};
        // Invisible characters that make a name look like another; their
        // neighbours are text.
        for (const char16_t c : {0x200B, 0x200D, 0x202A, 0x202E, 0x2060, 0x2066, 0x2069, 0xFEFF})
            QTest::addRow("U+%04X", unsigned(c))
                << QString("A") + QChar(c) + "B" + period
                << QStringList{QStringLiteral("A\\u%1B").arg(unsigned(c), 4, 16, QLatin1Char('0'))};
        for (const char16_t c : {0x200A, 0x200E, 0x202F, 0x2065, 0x206A, 0xFEFE})
            QTest::addRow("U+%04X is text", unsigned(c))
                << QString("A") + QChar(c) + "B" + period << QStringList();
    }
    void check()
    {
        QFETCH(QString, row);
        QFETCH(QStringList, problems);
        const UserPeriod period = periodsOf({row}).first();
        const QStringList found = users::Check(period);
        QCOMPARE(found.size(), problems.size());
        for (int i = 0; i < found.size(); ++i)
            QVERIFY2(found.at(i).contains(problems.at(i)), qPrintable(found.at(i)));
        // The list's rows are checked on their UTF-8 bytes.
        QCOMPARE(HasControlCharacterUtf8(period.name.toUtf8()), HasControlCharacter(period.name));
    }

    // Dates as typed in the desktop's fields and on the command line.
    void parseDateTime_data()
    {
        using P = datetext::Problem;
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::addColumn<bool>("timeGiven");
        QTest::addColumn<P>("problem");
        const auto ok = [](const char* name, const char* typed, const char* stored, bool time) {
            QTest::newRow(name) << typed << stored << time << P::None;
        };
        const auto bad = [](const char* name, const char* typed, P problem) {
            QTest::newRow(name) << typed << QString() << false << problem;
        };
        ok("day alone is its start", "2025-03-01", "2025-03-01 00:00:00", false);
        ok("minutes", "2024-07-01 10:00", "2024-07-01 10:00:00", true);
        ok("T, spaces around", " 2024-02-29T23:59:59 ", "2024-02-29 23:59:59", true);
        ok("single digits", "2025-3-1 8:05", "2025-03-01 08:05:00", true);
        ok("spaces between", "2025-03-01   08:15:00", "2025-03-01 08:15:00", true);
        ok("first year", "1000-01-01", "1000-01-01 00:00:00", false);
        ok("open end", "9999-12-31 23:59:59", "9999-12-31 23:59:59", true);
        bad("year before", "0999-12-31", P::Year);
        bad("year after", "10000-01-01", P::Year);
        bad("two-digit year", "25-03-01", P::Year);
        bad("year beyond int", "99999999999-01-01", P::Year);
        bad("month 13", "2025-13-01", P::Month);
        bad("month 0", "2025-0-01", P::Month);
        bad("30 February", "2025-02-30", P::NoSuchDay);
        bad("29 February, no leap year", "2025-02-29", P::NoSuchDay);
        bad("day 0", "2025-03-00", P::NoSuchDay);
        bad("hour 24", "2025-03-01 24:00", P::Hour);
        bad("minute 60", "2025-03-01 10:60", P::Minute);
        bad("second 60", "2024-07-01 10:00:60", P::Second);
        bad("one-digit minutes", "2025-03-01 8:5", P::NotADate);
        bad("words", "abc", P::NotADate);
        bad("empty", "", P::NotADate);
        bad("time alone", "10:00", P::NotADate);
        bad("fraction", "2025-03-01 10:00:00.5", P::NotADate);
        bad("slashes", "2025/03/01", P::NotADate);
        bad("Arabic-Indic digits", "\u0662\u0660\u0662\u0665-03-01", P::NotADate);
    }
    void parseDateTime()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(bool, timeGiven);
        QFETCH(datetext::Problem, problem);
        const datetext::Parsed parsed = datetext::Parse(typed);
        QCOMPARE(parsed.problem, problem);
        QCOMPARE(parsed.stored, stored);
        QCOMPARE(parsed.timeGiven, timeGiven);
        QCOMPARE(parsed.reason.isEmpty(), !stored.isEmpty());
        QCOMPARE(users::ParseDateTime(typed).value_or(QString()), stored);
        // The open end sorts after every date as text.
        QVERIFY(QStringLiteral("9999-12-31 23:59:58") < kOpen);
    }

    void handOver_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("at");
        QTest::addColumn<QStringList>("after"); // empty: refused
        const QString a = "Anna|3|2024-01-01 00:00:00|" + kOpen;
        QTest::newRow("open period passes on")
            << QStringList{a, "Other|4|2024-01-01 00:00:00|2024-03-01 00:00:00"}
            << "2024-07-01 10:00"
            << QStringList{"Anna|3|2024-01-01 00:00:00|2024-07-01 10:00:00",
                           "Jan|3|2024-07-01 10:00:00|" + kOpen,
                           "Other|4|2024-01-01 00:00:00|2024-03-01 00:00:00"};
        QTest::newRow("ended period keeps its end")
            << QStringList{"Anna|3|2024-01-01 00:00:00|2024-09-01 00:00:00"} << "2024-07-01 10:00"
            << QStringList{"Anna|3|2024-01-01 00:00:00|2024-07-01 10:00:00",
                           "Jan|3|2024-07-01 10:00:00|2024-09-01 00:00:00"};
        QTest::newRow("nobody holds it: until the next period")
            << QStringList{"Anna|3|2024-01-01 00:00:00|2024-02-01 00:00:00",
                           "Eve|3|2024-09-01 00:00:00|" + kOpen}
            << "2024-07-01 10:00"
            << QStringList{"Anna|3|2024-01-01 00:00:00|2024-02-01 00:00:00",
                           "Jan|3|2024-07-01 10:00:00|2024-09-01 00:00:00",
                           "Eve|3|2024-09-01 00:00:00|" + kOpen};
        QTest::newRow("at the very end of a period")
            << QStringList{"Anna|3|2024-01-01 00:00:00|2024-07-01 10:00:00"} << "2024-07-01 10:00"
            << QStringList{"Anna|3|2024-01-01 00:00:00|2024-07-01 10:00:00",
                           "Jan|3|2024-07-01 10:00:00|" + kOpen};
        QTest::newRow("a period starts there already")
            << QStringList{"Anna|3|2024-07-01 10:00:00|" + kOpen} << "2024-07-01 10:00"
            << QStringList();
        QTest::newRow("not a date") << QStringList{a} << "2024-07-32" << QStringList();
    }
    void handOver()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, at);
        QFETCH(QStringList, after);
        QVector<UserPeriod> periods = periodsOf(before);
        const QString error = users::HandOver(periods, 3, QStringLiteral("Jan"), at);
        if (after.isEmpty()) {
            QVERIFY(!error.isEmpty());
            QCOMPARE(shown(periods), before);
        } else {
            QCOMPARE(error, QString());
            QCOMPARE(shown(periods), after);
            for (const UserPeriod& p : periods)
                QCOMPARE(p.index == 0, p.name == QLatin1String("Jan"));
        }
    }

    void overlaps_data()
    {
        // Months are enough: the dates are compared as text.
        QTest::addColumn<QStringList>("periods");
        QTest::addColumn<QString>("found"); // "number: positions | pairs | pairs shown; ..."
        QTest::newRow("touching and overlapping")
            << QStringList{"A|3|2024-01|2024-03", "B|3|2024-03|2024-05", "C|3|2024-04|" + kOpen,
                           "D|4|2024-01|" + kOpen}
            << "3: 1 2 | 1 | 1-2";
        QTest::newRow("not in order")
            << QStringList{"C|3|2024-04|" + kOpen, "D|4|2024-01|2024-09", "B|3|2024-03|2024-05",
                           "A|3|2024-01|2024-04", "E|4|2024-02|2024-03"}
            << "3: 0 2 3 | 2 | 2-3 0-2; 4: 1 4 | 1 | 1-4";
        QTest::newRow("inside a long one")
            << QStringList{"A|3|2024-01|2024-12", "B|3|2024-02|2024-03", "C|3|2024-04|2024-05",
                           "D|3|2024-06|2024-07"}
            << "3: 0 1 2 3 | 3 | 0-1 0-2 0-3";
        QTest::newRow("same start")
            << QStringList{"B|3|2024-01|2024-02", "A|3|2024-01|2024-03"} << "3: 0 1 | 1 | 0-1";
        QTest::newRow("other numbers")
            << QStringList{"A|3|2024-01|2024-03", "B|4|2024-01|2024-03", "C|-1|2024-01|2024-03"}
            << "";
        QTest::newRow("ends before it starts")
            << QStringList{"X|3|2024-05|2024-04", "A|3|2024-01|2024-12", "B|3|2024-06|2024-07"}
            << "3: 0 1 2 | 2 | 0-1 1-2";
        QStringList open;
        for (int i = 0; i < 6; ++i)
            open << QStringLiteral("U%1|7|2024-0%2|").arg(i).arg(i + 1) + kOpen;
        QTest::newRow("all open, three pairs of fifteen shown")
            << open << "7: 0 1 2 3 4 5 | 15 | 0-1 0-2 1-2";
    }

    void overlaps()
    {
        QFETCH(QStringList, periods);
        QFETCH(QString, found);
        const QVector<UserPeriod> rows = periodsOf(periods);
        QStringList numbers;
        for (const users::NumberOverlaps& n : users::FindOverlaps(rows))
            numbers << summary(n);
        QCOMPARE(numbers.join("; "), found);
    }

    // Against a comparison of every pair: how many pairs, which periods, and
    // the first pairs in the order of the later one's start.
    void overlapsAsEveryPairGivesThem()
    {
        QVector<UserPeriod> periods;
        quint32 seed = 1;
        auto next = [&seed](quint32 span) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) % span;
        };
        for (int i = 0; i < 3000; ++i) {
            const quint32 start = next(100000);
            // Some long, some open, some empty or backwards.
            const quint32 length = i % 97 == 0 ? 30000 : next(300);
            periods.append({i,
                            {},
                            qint32(next(7)),
                            QString::number(start + 100000),
                            i % 89 == 0   ? kOpen
                            : i % 83 == 0 ? QString::number(start + 99990)
                                          : QString::number(start + 100000 + length)});
        }
        users::Sort(periods); // positions are then the order of the starts
        QMap<qint32, users::NumberOverlaps> every;
        for (int j = 0; j < periods.size(); ++j) {
            for (int i = 0; i < j; ++i) {
                const UserPeriod& a = periods.at(i);
                const UserPeriod& b = periods.at(j);
                if (a.userNo != b.userNo || !(a.start < b.stop && b.start < a.stop))
                    continue;
                users::NumberOverlaps& n = every[a.userNo];
                n.userNo = a.userNo;
                ++n.pairs;
                if (n.shown.size() < users::kShownOverlaps)
                    n.shown.append({i, j});
                n.periods << i << j;
            }
        }
        QStringList expected;
        qint64 pairs = 0;
        for (users::NumberOverlaps& n : every) {
            std::sort(n.periods.begin(), n.periods.end());
            n.periods.erase(std::unique(n.periods.begin(), n.periods.end()), n.periods.end());
            expected << summary(n);
            pairs += n.pairs;
        }
        QStringList found;
        for (const users::NumberOverlaps& n : users::FindOverlaps(periods))
            found << summary(n);
        QCOMPARE(found, expected);
        QVERIFY(pairs > 1000);
    }

    void overlapShowsNoEnd()
    {
        const QVector<UserPeriod> periods = periodsOf(
            {"B|3|2024-03-01 00:00:00|2024-05-01 00:00:00", "C|3|2024-04-30 00:00:00|" + kOpen});
        const QVector<users::NumberOverlaps> found = users::FindOverlaps(periods);
        QCOMPARE(found.size(), 1);
        QCOMPARE(users::DescribeOverlaps(periods, found.first()),
                 QStringList{"user number 3: B (2024-03-01 00:00:00 to 2024-05-01 00:00:00) and C "
                             "(2024-04-30 00:00:00 to no end)"});
    }

    void changesAreStoredAllOrNothing()
    {
        const QString path = m_dir.filePath(QStringLiteral("users.db"));
        QVERIFY(testdb::copyTemplate(path));
        QCOMPARE(testdb::exec(path, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                     "VALUES ('Zed', 5, '2024-01-01 00:00:00', '" +
                                     kOpen + "'), ('Anna', 3, '2024-01-01 00:00:00', '" + kOpen +
                                     "'), ('Gone', 7, '2023-01-01 00:00:00', '" + kOpen + "')"}),
                 QString());
        CDatabase db;
        db.OpenFile(path);
        const QVector<UserPeriod> before = users::Read(db);
        QCOMPARE(shown(before), (QStringList{"Anna|3|2024-01-01 00:00:00|" + kOpen,
                                             "Zed|5|2024-01-01 00:00:00|" + kOpen,
                                             "Gone|7|2023-01-01 00:00:00|" + kOpen}));

        QVector<UserPeriod> after = before;
        QCOMPARE(users::HandOver(after, 3, QStringLiteral("Jan, \"J\" Wrona"),
                                 QStringLiteral("2024-07-01 10:00")),
                 QString());
        after.removeLast(); // Gone
        const users::Changes changes = users::Diff(before, after);
        QCOMPARE(changes.added.size(), 1);
        QCOMPARE(changes.edited.size(), 1);
        QCOMPARE(changes.removed, QVector<qint64>{before.last().index});

        // A bad row, or a row another program removed meanwhile: nothing stored.
        users::Changes bad = changes;
        bad.added.append({0, QString(), 3, "2024-01-01 00:00", "2024-02-01 00:00"});
        QVERIFY_THROWS_EXCEPTION(CDBException, users::Apply(db, bad));
        QCOMPARE(testdb::exec(path, {"DELETE FROM USERS WHERE NAME = 'Gone'"}), QString());
        QVERIFY_THROWS_EXCEPTION(CDBException, users::Apply(db, changes));
        const QStringList untouched{"Anna|3|2024-01-01 00:00:00|" + kOpen,
                                    "Zed|5|2024-01-01 00:00:00|" + kOpen};
        QCOMPARE(shown(users::Read(db)), untouched);

        QCOMPARE(testdb::exec(path, {"INSERT INTO USERS (\"INDEX\", NAME, USER_NO, DATE_START, "
                                     "DATE_STOP) VALUES (" +
                                     QString::number(before.last().index) +
                                     ", 'Gone', 7, "
                                     "'2023-01-01 00:00:00', '" +
                                     kOpen + "')"}),
                 QString());
        users::Apply(db, changes);
        QCOMPARE(shown(users::Read(db)),
                 (QStringList{"Anna|3|2024-01-01 00:00:00|2024-07-01 10:00:00",
                              "Jan, \"J\" Wrona|3|2024-07-01 10:00:00|" + kOpen,
                              "Zed|5|2024-01-01 00:00:00|" + kOpen}));
    }

    void csvRecords_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("records"); // "line:field|field"
        QTest::addColumn<QList<int>>("errorLines");
        QTest::newRow("plain, LF, no last line end")
            << QByteArray("a,b\n1,2") << QStringList{"1:a|b", "2:1|2"} << QList<int>();
        QTest::newRow("quotes, CRLF, breaks inside")
            << QByteArray("\xEF\xBB\xBF\"x,\"\"y\"\"\",\"1\r\n2\"\r\nz,\r\n")
            << QStringList{"1:x,\"y\"|1\r\n2", "3:z|"} << QList<int>();
        QTest::newRow("empty line is a record")
            << QByteArray("a\n\nb\n") << QStringList{"1:a", "2:", "3:b"} << QList<int>();
        QTest::newRow("faults are told with their lines")
            << QByteArray("ok\na\"b,c\n\"q\"x\n\xC3\x28\nlast\n\"open\n")
            << QStringList{"1:ok", "5:last"} << QList<int>{2, 3, 4, 6};
    }
    void csvRecords()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, records);
        QFETCH(QList<int>, errorLines);
        const CsvDocument doc = ParseCsv(bytes);
        QStringList got;
        for (const CsvRecord& r : doc.records)
            got << QString::number(r.line) + ':' + r.fields.join('|');
        QCOMPARE(got, records);
        QList<int> lines;
        for (const CsvError& e : doc.errors)
            lines << e.line;
        QCOMPARE(lines, errorLines);
    }

    void csvWriterRoundTrip()
    {
        const QStringList fields{"plain",  "a,b", "say \"hi\"", "two\nlines", "cr\rlf\r\n",
                                 "Łódź ☃", ""};
        std::string out;
        AppendCsvRecord(out, fields);
        AppendCsvRecord(out, {"x"});
        QVERIFY(QByteArrayView(out).endsWith("\r\nx\r\n"));
        const CsvDocument doc = ParseCsv(QByteArrayView(out));
        QCOMPARE(doc.errors.size(), 0);
        QCOMPARE(doc.records.size(), 2);
        QCOMPARE(doc.records.first().fields, fields);
        QCOMPARE(doc.records.last().line, 4);
    }
};

QTEST_GUILESS_MAIN(TestDbUsers)
#include "test_db_users.moc"
