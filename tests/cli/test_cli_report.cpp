// zqreader-cli report against the rows export and list print for the same
// database: hand-overs, overlapping periods, events without a user and the
// days around both changes of daylight saving time, on SQLite and PostgreSQL;
// the PDF read back with poppler's tools.

#include "db/location/location.h"
#include "db/record/database.h"
#include "formats/csv.h"
#include "formats/reportcsv.h"
#include "formats/reportquery.h"
#include "tests/support/pgserver.h"
#include "tests/support/programrun.h"
#include "tests/support/testdb.h"

#include <QDate>
#include <QDateTime>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <map>
#include <tuple>

namespace {

using Run = testrun::Result;

Run cli(const QStringList& args)
{
    return testrun::Run(args, {.env = testrun::BerlinEnvironment()});
}

// zqreader-cli with the arguments under a cap of its address space (none
// under the address sanitizer, which reserves more than any), each line it
// prints cut to its first 40 characters, then "exit STATUS".
Run capped(const QString& kilobytes, const QStringList& args)
{
    return testrun::Run(
        QStringList{"-c",
                    "[ -n \"$ASAN_OPTIONS\" ] || ulimit -v $0; "
                    "{ \"$@\"; echo \"exit $?\"; } | cut -c1-40",
                    kilobytes, QStringLiteral(ZQ_BIN_DIR "/zqreader-cli")} +
            args,
        {.program = QStringLiteral("/bin/sh"), .env = testrun::BerlinEnvironment()});
}

Run tool(const QString& program, const QStringList& args)
{
    return testrun::Run(args, {.program = program});
}

// Anna hands number 3 over to Bob with two days of overlap, Eve hands 5 over
// to Carl in the hour that repeats when summer time ends; nobody holds 7 and
// -1. An event every 47 minutes over the week of each change of summer time.
QStringList dataStatements()
{
    QStringList s = {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES "
                     "('Anna', 3, '2024-03-20 00:00:00', '2024-04-03 10:00:00'), "
                     "('Bob', 3, '2024-04-01 00:00:00', '9999-12-31 23:59:59'), "
                     "('=Eve', 5, '2024-01-01 00:00:00', '2024-10-27 02:30:00'), "
                     "('Carl, Jr.', 5, '2024-10-27 02:30:00', '9999-12-31 23:59:59'), "
                     // Dora's period lies within a day of events of 8, Finn's
                     // starts at the first event of a day and ends at the last
                     // of another; Gus hands 6 over to Hal at an event; Ivy has
                     // no start.
                     "('Dora', 8, '2024-03-29 10:00:00', '2024-03-29 14:00:00'), "
                     "('Finn', 8, '2024-03-30 08:00:00', '2024-03-31 20:00:00'), "
                     "('Gus', 6, '2024-01-01 00:00:00', '2024-10-25 12:00:00'), "
                     "('Hal', 6, '2024-10-25 12:00:00', '9999-12-31 23:59:59'), "
                     "('Ivy', 7, NULL, '9999-12-31 23:59:59')"};
    QStringList values;
    int i = 0;
    for (const auto& [from, to] : {std::pair("2024-03-28T00:00:00Z", "2024-04-04T12:00:00Z"),
                                   std::pair("2024-10-24T00:00:00Z", "2024-10-29T00:00:00Z")}) {
        const qint64 end = QDateTime::fromString(QLatin1String(to), Qt::ISODate).toSecsSinceEpoch();
        for (qint64 t = QDateTime::fromString(QLatin1String(from), Qt::ISODate).toSecsSinceEpoch();
             t < end; t += qint64{47} * 60, ++i) {
            static const int kUsers[] = {3, 5, 7, -1, 3, 5};
            values.append(QStringLiteral("(%1, '%2', %3, '%4')")
                              .arg(i)
                              .arg(QDateTime::fromSecsSinceEpoch(t).toString(
                                  QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                              .arg(kUsers[i % 6])
                              .arg(i % 3 == 0 ? 1 : 0));
        }
    }
    // Exactly at the ends of periods: outside them.
    values << "(9001, '2024-04-01 00:00:00', 3, '1')"
           << "(9002, '2024-10-27 02:30:00', 5, '1')";
    for (const char* when : {"2024-03-29 09:00:00", "2024-03-29 10:00:00", "2024-03-29 12:00:00",
                             "2024-03-29 14:00:00", "2024-03-29 15:00:00", "2024-03-30 08:00:00",
                             "2024-03-30 12:00:00", "2024-03-31 09:00:00", "2024-03-31 20:00:00"})
        values << QStringLiteral("(9100, '%1', 8, '1')").arg(QLatin1String(when));
    for (const char* when : {"2024-10-25 11:00:00", "2024-10-25 12:00:00", "2024-10-25 13:00:00"})
        values << QStringLiteral("(9200, '%1', 6, '0')").arg(QLatin1String(when));
    s.append(QStringLiteral("INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES ") +
             values.join(QStringLiteral(", ")));
    return s;
}

struct Counts
{
    qint64 events = 0;
    qint64 button1 = 0;
    QString first;
    QString last;

    void Add(const QString& when, bool button)
    {
        first = events == 0 || when < first ? when : first;
        last = events == 0 || when > last ? when : last;
        ++events;
        button1 += button ? 1 : 0;
    }
};

QString periodOf(const QString& day, const QString& by)
{
    if (by == QLatin1String("month"))
        return day.left(7);
    if (by == QLatin1String("week")) {
        const QDate date = QDate::fromString(day, Qt::ISODate);
        return date.addDays(1 - date.dayOfWeek()).toString(Qt::ISODate);
    }
    return day;
}

QStringList record(const QString& period, const QString& userNo, const QString& name,
                   const Counts& c)
{
    return {period,  userNo, name, QString::number(c.events), QString::number(c.button1),
            c.first, c.last};
}

// The report worked out from export's rows: grouped by period, user number
// and name, ordered so, then the totals.
QVector<QStringList> expectedReport(const CsvDocument& rows, const QString& by)
{
    using Key = std::tuple<QString, int, QString>;
    std::map<Key, Counts> periods;
    std::map<std::pair<int, QString>, Counts> perUser;
    Counts all;
    for (const CsvRecord& r : rows.records.mid(1)) {
        const int userNo = r.fields.at(2).toInt();
        const QString when = r.fields.at(0) + QLatin1Char(' ') + r.fields.at(1);
        const bool button = r.fields.at(5) == QLatin1String("1");
        periods[Key(periodOf(r.fields.at(0), by), userNo, r.fields.at(3))].Add(when, button);
        perUser[{userNo, r.fields.at(3)}].Add(when, button);
        all.Add(when, button);
    }
    QVector<QStringList> expected = {
        {"period", "user_no", "user_name", "events", "button_1", "first", "last"}};
    for (const auto& [key, counts] : periods)
        expected.append(
            record(std::get<0>(key), QString::number(std::get<1>(key)), std::get<2>(key), counts));
    for (const auto& [key, counts] : perUser)
        expected.append(record("total", QString::number(key.first), key.second, counts));
    expected.append(record("total", {}, {}, all));
    return expected;
}

QVector<QStringList> fieldsOf(const CsvDocument& document)
{
    QVector<QStringList> fields;
    for (const CsvRecord& r : document.records)
        fields.append(r.fields);
    return fields;
}

} // namespace

class TestCliReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QMap<QString, QString> m_databases;

    // The database of statements (of dataStatements() unless named) on the
    // backend, made once.
    QString database(const QString& backend, const QString& name = QString(),
                     const QStringList& statements = {})
    {
        const QString key = backend + name;
        if (m_databases.contains(key))
            return m_databases.value(key);
        QString where = m_dir.filePath(QStringLiteral("report%1.db").arg(m_databases.size()));
        if (backend == QLatin1String("postgres")) {
            testpg::Server& pg = testpg::Server::Instance();
            if (!pg.IsRunning())
                return {};
            where = pg.Uri(pg.CreateDatabase());
        }
        if (cli({"new", where}).exitCode != 0 ||
            !testdb::exec(where, name.isEmpty() ? dataStatements() : statements, true).isEmpty())
            return {};
        m_databases.insert(key, where);
        return where;
    }

private Q_SLOTS:
    void countsAreTheListsRows_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("by");
        QTest::addColumn<QStringList>("filter"); // as list and export take it
        QTest::newRow("days") << "sqlite"
                              << "day" << QStringList();
        QTest::newRow("weeks in a range")
            << "sqlite"
            << "week" << QStringList{"--from", "2024-03-30", "--to", "2024-10-27"};
        QTest::newRow("months of two numbers") << "sqlite"
                                               << "month" << QStringList{"--user=3", "--user=7"};
        QTest::newRow("one number from an hour that repeats")
            << "sqlite"
            << "day" << QStringList{"--from", "2024-10-27 02:10", "--user", "5"};
        // Anna and Bob share number 3 for two days: a name keeps one of them.
        QTest::newRow("a name of an overlap") << "sqlite"
                                              << "day" << QStringList{"--name", "ANN"};
        QTest::newRow("a name of both, once each")
            << "sqlite"
            << "week" << QStringList{"--name", "b", "--user", "3", "--user", "5"};
        QTest::newRow("button") << "sqlite"
                                << "month" << QStringList{"--button", "1", "--to", "2024-10-27"};
        QTest::newRow("overlaps of one number") << "sqlite"
                                                << "day" << QStringList{"--user", "3"};
        QTest::newRow("periods ending within a day and at its first and last event")
            << "sqlite"
            << "day" << QStringList{"--user", "8", "--user", "6", "--to", "2024-10-26"};
        QTest::newRow("server, periods ending at a day's first and last event")
            << "postgres"
            << "week" << QStringList{"--user", "8", "--user", "6", "--button", "1"};
        QTest::newRow("server, days") << "postgres"
                                      << "day" << QStringList();
        QTest::newRow("server, weeks of two numbers")
            << "postgres"
            << "week" << QStringList{"--to", "2024-10-27", "--user=-1", "--user=3"};
        QTest::newRow("server, a name and a button")
            << "postgres"
            << "day" << QStringList{"--name", "a", "--button", "0"};
    }

    void countsAreTheListsRows()
    {
        QFETCH(QString, backend);
        QFETCH(QString, by);
        QFETCH(QStringList, filter);
        const QString db = database(backend);
        if (db.isEmpty() && backend == QLatin1String("postgres"))
            QSKIP(qPrintable(testpg::Server::Instance().Error()));
        QVERIFY(!db.isEmpty());

        const Run exported = cli(QStringList{"export", db} + filter);
        QCOMPARE(exported.exitCode, 0);
        const CsvDocument rows = ParseCsv(exported.rawOut);
        QVERIFY(rows.errors.isEmpty());
        // The rows export gives are those of list.
        QCOMPARE(cli(QStringList{"list", db} + filter).out.count(QLatin1Char('\n')),
                 rows.records.size() - 1);

        const Run report = cli(QStringList{"report", db, "--by", by} + filter);
        QCOMPARE(report.err, QString());
        QCOMPARE(report.exitCode, 0);
        QVERIFY(report.rawOut.endsWith("\r\n"));
        QCOMPARE(report.rawOut.count('\n'), report.rawOut.count("\r\n"));
        const CsvDocument read = ParseCsv(report.rawOut);
        QVERIFY(read.errors.isEmpty());
        const QVector<QStringList> expected = expectedReport(rows, by);
        QVERIFY(expected.size() > 4);
        QCOMPARE(fieldsOf(read), expected);
    }

    // One range on both backends: a --to of the last day a date may have is
    // no bound, and a year a date cannot have is a wrong command line with
    // its reason, for list, export and report alike.
    void dateRangesAreTheSameOnBothBackends_data()
    {
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<QStringList>("same"); // a range of the same rows
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        QTest::newRow("to the last day of 9999")
            << QStringList{"--to", "9999-12-31"} << QStringList() << 0 << QString();
        QTest::newRow("from a day to the last day of 9999")
            << QStringList{"--from", "2024-04-02", "--to", "9999-12-31"}
            << QStringList{"--from", "2024-04-02"} << 0 << QString();
        QTest::newRow("days of a year")
            << QStringList{"--from", "2024-03-30", "--to", "2024-10-26"}
            << QStringList{"--from", "2024-03-30 00:00", "--to", "2024-10-27 00:00:00"} << 0
            << QString();
        QTest::newRow("year 999") << QStringList{"--from", "0999-12-31"} << QStringList() << 2
                                  << "--from \"0999-12-31\": The year must be from 1000 to 9999.";
        QTest::newRow("year -1") << QStringList{"--from", "-0001-01-01"} << QStringList() << 2
                                 << "--from \"-0001-01-01\" is not a date YYYY-MM-DD";
        QTest::newRow("year 10000") << QStringList{"--to", "10000-01-01"} << QStringList() << 2
                                    << "--to \"10000-01-01\": The year must be from 1000 to 9999.";
    }

    void dateRangesAreTheSameOnBothBackends()
    {
        QFETCH(QStringList, range);
        QFETCH(QStringList, same);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        QString fileList;
        for (const QString backend : {"sqlite", "postgres"}) {
            const QString db = database(backend);
            if (db.isEmpty() && backend == QLatin1String("postgres"))
                QSKIP(qPrintable(testpg::Server::Instance().Error()));
            QVERIFY(!db.isEmpty());
            const Run list = cli(QStringList{"list", db} + range);
            const Run exported = cli(QStringList{"export", db} + range);
            const Run report = cli(QStringList{"report", db} + range);
            for (const Run* r : {&list, &exported, &report}) {
                QCOMPARE(r->exitCode, exitCode);
                QVERIFY2(r->err.contains(error), qPrintable(r->err));
            }
            if (exitCode != 0) {
                QCOMPARE(list.out + exported.out + report.out, QString());
                continue;
            }
            QCOMPARE(list.out, cli(QStringList{"list", db} + same).out);
            const qsizetype rows = list.out.count(QLatin1Char('\n'));
            QVERIFY(rows > 0);
            QCOMPARE(ParseCsv(exported.rawOut).records.size(), rows + 1);
            const QStringList total = ParseCsv(report.rawOut).records.last().fields;
            QCOMPARE(total.mid(0, 4), (QStringList{"total", "", "", QString::number(rows)}));
            if (!fileList.isNull())
                QCOMPARE(list.out, fileList);
            fileList = list.out;
        }
    }

    // Users' names of a megabyte each on every row of a file (a server's
    // column holds 255 characters): list, export and report hold a name once,
    // not once a row, and finish under a cap of memory that rows' copies of
    // them would pass many times over.
    void longNamesTakeNoMemoryPerRow_data()
    {
        QTest::addColumn<QStringList>("args"); // after the database
        QTest::addColumn<qsizetype>("lines");  // printed
        QTest::addColumn<QString>("last");     // the start of the last line printed
        // A month a row for each user, their totals and the total.
        const qsizetype months = 1 + 5 * 2 + 2 + 1;
        const QString total = QStringLiteral("total,,,600,");
        QTest::newRow("list") << QStringList{"list"} << qsizetype(600)
                              << "2024-05-04\t19:00:00\t     2\taaaaaaa";
        QTest::newRow("export") << QStringList{"export"} << qsizetype(601)
                                << "2024-05-04,19:00:00,2,aaaaaaaaaaaaaaaaaa";
        QTest::newRow("report") << QStringList{"report", "--by", "month"} << months << total;
        QTest::newRow("report of a name")
            << QStringList{"report", "--name", "USER", "--by", "month"} << months << total;
    }

    void longNamesTakeNoMemoryPerRow()
    {
        QFETCH(QStringList, args);
        QFETCH(qsizetype, lines);
        QFETCH(QString, last);
        // 600 events of two users, one every five hours from January to May.
        QStringList values;
        const QDateTime start =
            QDateTime::fromString(QStringLiteral("2024-01-01T00:00:00Z"), Qt::ISODate);
        for (int i = 0; i < 600; ++i)
            values << QStringLiteral("(%1, '%2', %3, '0')")
                          .arg(i)
                          .arg(start.addSecs(qint64{i} * 5 * 3600)
                                   .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                          .arg(1 + i % 2);
        const QString db = database(
            QStringLiteral("sqlite"), QStringLiteral("long names"),
            {QStringLiteral("INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES "
                            "('%1 user one', 1, '2023-01-01 00:00:00', '9999-12-31 23:59:59'), "
                            "('%1 user two', 2, '2023-01-01 00:00:00', '9999-12-31 23:59:59')")
                 .arg(QString(1 << 20, QLatin1Char('a'))),
             QStringLiteral("INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES ") +
                 values.join(QStringLiteral(", "))});
        QVERIFY(!db.isEmpty());
        // Some 150 MB suffice; a page of 512 rows of such names took 1 GB.
        const Run r =
            capped(QStringLiteral("500000"), args.mid(0, 1) + QStringList{db} + args.mid(1));
        QStringList printed = r.out.split(QLatin1Char('\n'));
        QCOMPARE(printed.takeLast(), QString());
        QCOMPARE(printed.takeLast(), QStringLiteral("exit 0"));
        QCOMPARE(printed.size(), lines);
        QVERIFY2(printed.last().startsWith(last), qPrintable(printed.last()));
    }

    // The report's first and last event as the list shows their times: one
    // stored in the hour the spring change skips reads as the hour after.
    void firstAndLastAreShownAsTheList_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("format");
        for (const QString backend : {"sqlite", "postgres"}) {
            for (const QString format : {"csv", "pdf"})
                QTest::newRow(qPrintable(backend + QStringLiteral(", ") + format))
                    << backend << format;
        }
    }

    void firstAndLastAreShownAsTheList()
    {
        QFETCH(QString, backend);
        QFETCH(QString, format);
        const QString db =
            database(backend, QStringLiteral("skipped hour"),
                     {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES "
                      "('Anna', 1, '2026-01-01 00:00:00', '9999-12-31 23:59:59')",
                      "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                      "(1, '2026-03-29 02:02:14', 1, '0'), (2, '2026-03-29 02:59:59', 4, '1'), "
                      "(3, '2026-03-29 05:00:00', 1, '1'), (4, '2026-03-28 23:00:00', 4, '0')"});
        if (db.isEmpty() && backend == QLatin1String("postgres"))
            QSKIP(qPrintable(testpg::Server::Instance().Error()));
        QVERIFY(!db.isEmpty());
        QProcessEnvironment warsaw = QProcessEnvironment::systemEnvironment();
        warsaw.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Warsaw"));
        const auto run = [&warsaw](const QStringList& args) {
            return testrun::Run(args, {.env = warsaw});
        };
        // The list (and export) shows the stored 02:02:14 an hour later.
        const CsvDocument rows = ParseCsv(run({"export", db}).rawOut);
        QCOMPARE(rows.records.size(), 5);
        QCOMPARE(rows.records.at(1).fields.at(1), QStringLiteral("03:02:14"));
        const QVector<QStringList> expected = expectedReport(rows, QStringLiteral("day"));
        const QString pdf = m_dir.filePath(QStringLiteral("skipped-%1.pdf").arg(backend));
        const Run report = run(format == QLatin1String("csv")
                                   ? QStringList{"report", db}
                                   : QStringList{"report", db, "--format", "pdf", "--output", pdf});
        QCOMPARE(report.err, QString());
        QCOMPARE(report.exitCode, 0);
        if (format == QLatin1String("csv")) {
            QCOMPARE(fieldsOf(ParseCsv(report.rawOut)), expected);
            return;
        }
        const QString text = tool(QStringLiteral("pdftotext"), {"-layout", pdf, "-"}).out;
        for (const QStringList& record : expected.mid(1)) {
            for (const QString& when : record.mid(5))
                QVERIFY2(text.contains(when), qPrintable(when + QStringLiteral(" in ") + text));
        }
        QVERIFY(!text.contains(QStringLiteral("02:02:14")) &&
                !text.contains(QStringLiteral("02:59:59")));
    }

    // The chart by hour counts each row of the list once, as the table does.
    void hoursCountTheListsRows_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QStringList>("filter"); // --user and --button as export takes them
        QTest::newRow("every row") << "sqlite" << QStringList();
        QTest::newRow("overlaps of one number") << "sqlite" << QStringList{"--user", "3"};
        QTest::newRow("server, every row") << "postgres" << QStringList();
        QTest::newRow("server, a button of two numbers")
            << "postgres" << QStringList{"--user", "3", "--user", "8", "--button", "1"};
    }

    void hoursCountTheListsRows()
    {
        QFETCH(QString, backend);
        QFETCH(QStringList, filter);
        const QString db = database(backend);
        if (db.isEmpty() && backend == QLatin1String("postgres"))
            QSKIP(qPrintable(testpg::Server::Instance().Error()));
        QVERIFY(!db.isEmpty());
        const Run exported = cli(QStringList{"export", db} + filter);
        QCOMPARE(exported.exitCode, 0);
        std::array<qint64, 24> expected{};
        for (const CsvRecord& r : ParseCsv(exported.rawOut).records.mid(1))
            ++expected.at(size_t(r.fields.at(1).left(2).toInt()));

        ReportOptions options;
        options.byHour = true;
        for (qsizetype i = 0; i + 1 < filter.size(); i += 2) {
            if (filter.at(i) == QLatin1String("--user"))
                options.filter.userNos.append(filter.at(i + 1).toInt());
            else
                options.filter.button = filter.at(i + 1).toInt();
        }
        CDatabase connection;
        connection.Open(Location::Parse(db));
        QCOMPARE(BuildReport(connection, options).byHour, expected);
    }

    // A server's range shared with a second connection gives the report of
    // one, also where the second connection is refused.
    void secondConnectionCountsTheSame()
    {
        const QString db = database(QStringLiteral("postgres"));
        if (db.isEmpty())
            QSKIP(qPrintable(testpg::Server::Instance().Error()));
        CDatabase connection;
        connection.Open(Location::Parse(db));
        ReportOptions options;
        options.by = ReportPeriod::Week;
        options.byHour = true;
        const Report one = BuildReport(connection, options);
        options.secondConnectionFrom = 0;
        const Report two = BuildReport(connection, options);
        QVERIFY(one.rows.size() > 4);
        QCOMPARE(ReportCsv(two, CsvText::Raw), ReportCsv(one, CsvText::Raw));
        QCOMPARE(two.byHour, one.byHour);

        // A role the server lets connect once: the first connection counts
        // the second one's half itself.
        const QString name = db.section(QLatin1Char('/'), -1);
        QCOMPARE(
            testpg::Server::Instance().Exec(
                name, {QStringLiteral("CREATE ROLE zq_once LOGIN CONNECTION LIMIT 1"),
                       QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO zq_once")}),
            QString());
        CDatabase once;
        once.Open(Location::Parse(testpg::Server::Instance().Uri(name, QStringLiteral("zq_once"))));
        const Report alone = BuildReport(once, options);
        QCOMPARE(ReportCsv(alone, CsvText::Raw), ReportCsv(one, CsvText::Raw));
        QCOMPARE(alone.byHour, one.byHour);
    }

    void pdfHasHeadersAndEveryRow()
    {
        const QString db = database(QStringLiteral("sqlite"));
        QVERIFY(!db.isEmpty());
        const QString pdf = m_dir.filePath(QStringLiteral("report.pdf"));
        const Run made = cli({"report", db, "--format", "pdf", "--output", pdf});
        QCOMPARE(made.err, QString());
        QCOMPARE(made.exitCode, 0);
        const Run csv = cli({"report", db});
        const qsizetype rows = ParseCsv(csv.rawOut).records.size() - 1;

        const Run info = tool(QStringLiteral("pdfinfo"), {pdf});
        QCOMPARE(info.exitCode, 0);
        const QRegularExpressionMatch pages =
            QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info.out);
        QVERIFY(pages.hasMatch());
        const int count = pages.captured(1).toInt();
        QVERIFY2(count >= 3, qPrintable(info.out));

        const Run text = tool(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
        QCOMPARE(text.exitCode, 0);
        QCOMPARE(text.out.count(QStringLiteral("Report of ") + db), count);
        QCOMPARE(text.out.count(QStringLiteral("Every row of the list")), count);
        QCOMPARE(text.out.count(QStringLiteral("Events from the first to the last, by day")),
                 count);
        QVERIFY(text.out.contains(QStringLiteral("Page %1 of %1").arg(count)));
        // Each table row whole on one line of one page.
        const QRegularExpression row(QStringLiteral("^\\s*(\\d{4}-\\d\\d-\\d\\d|Total)\\s.*\\d\\d:"
                                                    "\\d\\d:\\d\\d\\s+\\d{4}-\\d\\d-\\d\\d "
                                                    "\\d\\d:\\d\\d:\\d\\d\\s*$"),
                                     QRegularExpression::MultilineOption);
        QCOMPARE(text.out.count(row), rows);

        const QString png = m_dir.filePath(QStringLiteral("page"));
        QCOMPARE(tool(QStringLiteral("pdftoppm"),
                      {"-r", "20", "-png", "-f", "1", "-l", "1", "-singlefile", pdf, png})
                     .exitCode,
                 0);
        const QImage image(png + QStringLiteral(".png"));
        QVERIFY(!image.isNull());
        QVERIFY(image.pixelColor(image.width() / 2, image.height() / 2) != Qt::transparent);

        // The header names the filter as the list's bar does, the days as
        // they were given, and when the report was made.
        const Run filtered = cli({"report", db, "--format=pdf", "--output", pdf, "--name", "ann",
                                  "--button", "1", "--from", "2024-03-30", "--to", "2024-10-27"});
        QCOMPARE(filtered.exitCode, 0);
        const QString header = tool(QStringLiteral("pdftotext"), {pdf, "-"}).out;
        QVERIFY(header.contains(QStringLiteral("Filter: name \"ann\", button 1")));
        QVERIFY(header.contains(QStringLiteral("Events from 2024-03-30 to 2024-10-27, by day")));
        QVERIFY(header.contains(QStringLiteral("Created ") +
                                QDate::currentDate().toString(Qt::ISODate)));
    }

    void serverPasswordStaysOutOfThePdf()
    {
        testpg::Server& pg = testpg::Server::Instance();
        const QString db = database(QStringLiteral("postgres"));
        if (db.isEmpty())
            QSKIP(qPrintable(pg.Error()));
        const QString name = db.section(QLatin1Char('/'), -1);
        QCOMPARE(pg.Exec(name, {QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO ") +
                                QLatin1String(testpg::kPasswordRole)}),
                 QString());
        const QString secret =
            pg.Uri(name, QLatin1String(testpg::kPasswordRole))
                .replace(QLatin1String("@"), QLatin1String(":") + QLatin1String(testpg::kPassword) +
                                                 QLatin1String("@"));
        const QString pdf = m_dir.filePath(QStringLiteral("server.pdf"));
        const Run made = cli({"report", secret, "--format=pdf", "--output", pdf});
        QCOMPARE(made.exitCode, 0);
        const Run text = tool(QStringLiteral("pdftotext"), {pdf, "-"});
        QVERIFY(text.out.contains(QStringLiteral("Report of ")) && text.out.contains(name));
        QVERIFY(!text.out.contains(QLatin1String(testpg::kPassword)));
        QVERIFY(!made.err.contains(QLatin1String(testpg::kPassword)));
    }

    void outputOverTheDatabaseIsRefused()
    {
        const QString db = database(QStringLiteral("sqlite"));
        QVERIFY(!db.isEmpty());
        QFile file(db);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        const Run r = cli({"report", db, "--output", db + QStringLiteral("-journal")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(!r.err.isEmpty());
        const Run wrong = cli({"report", db, "--by", "year"});
        QCOMPARE(wrong.exitCode, 2);
        QVERIFY(wrong.err.contains(QLatin1String("--by \"year\"")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }
};

QTEST_GUILESS_MAIN(TestCliReport)
#include "test_cli_report.moc"
