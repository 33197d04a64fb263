// The report window offscreen, and the report's hours across both changes of
// daylight saving time.

#include "app/dialogs/datefield.h"
#include "app/dialogs/reportwindow.h"
#include "db/backend/serverdb.h"
#include "db/record/database.h"
#include "formats/reportchart.h"
#include "tests/support/guitest.h"
#include "tests/support/pgserver.h"
#include "tests/support/programrun.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDateTime>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

// An event every 20 minutes of real time over the two days around each
// change, numbers 1 and 2 (held by Anna from the 31st of March), 9 (nobody).
QStringList dataStatements()
{
    QStringList values;
    int i = 0;
    for (const char* from : {"2024-03-30T00:00:00Z", "2024-10-26T00:00:00Z"}) {
        const qint64 start =
            QDateTime::fromString(QLatin1String(from), Qt::ISODate).toSecsSinceEpoch();
        for (qint64 t = start; t < start + qint64{2} * 86400; t += qint64{20} * 60, ++i)
            values.append(QStringLiteral("(%1, '%2', %3, '%4')")
                              .arg(i)
                              .arg(QDateTime::fromSecsSinceEpoch(t).toString(
                                  QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                              .arg(QList<int>{1, 2, 9}.at(i % 3))
                              .arg(i % 2));
    }
    return {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES ('Anna', 1, "
            "'2024-03-31 00:00:00', '9999-12-31 23:59:59')",
            QStringLiteral("INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES ") +
                values.join(QStringLiteral(", "))};
}

bool painted(const QImage& image)
{
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            if (qGray(image.pixel(x, y)) < 128)
                return true;
        }
    }
    return false;
}

} // namespace

class TestAppReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void initTestCase()
    {
        m_path = m_dir.filePath(QStringLiteral("report.db"));
        QVERIFY(testdb::copyTemplate(m_path));
        QCOMPARE(testdb::exec(m_path, dataStatements(), true), QString());
    }

    void hoursFollowTheLocalClock_data()
    {
        QTest::addColumn<QString>("day");
        QTest::addColumn<int>("hour");
        QTest::addColumn<qint64>("events");
        QTest::newRow("23-hour day, the hour skipped") << "2024-03-31" << 2 << qint64(0);
        QTest::newRow("23-hour day, the hour after") << "2024-03-31" << 3 << qint64(3);
        QTest::newRow("25-hour day, the hour twice") << "2024-10-27" << 2 << qint64(6);
        QTest::newRow("25-hour day, the hour after") << "2024-10-27" << 3 << qint64(3);
    }

    void hoursFollowTheLocalClock()
    {
        QFETCH(QString, day);
        QFETCH(int, hour);
        QFETCH(qint64, events);
        CDatabase db;
        db.OpenFile(m_path);
        ReportOptions options;
        options.filter.from = day + QStringLiteral(" 00:00:00");
        options.filter.to = QDate::fromString(day, Qt::ISODate)
                                .addDays(1)
                                .toString(QStringLiteral("yyyy-MM-dd 00:00:00"));
        options.byHour = true;
        const Report report = BuildReport(db, options);
        QCOMPARE(report.byHour[size_t(hour)], events);
        QCOMPARE(std::accumulate(report.byHour.begin(), report.byHour.end(), qint64{0}),
                 report.total.events);
        QCOMPARE(report.total.events, day.endsWith(QLatin1String("31")) ? 69 : 75);
    }

    void windowShowsTheTableAndCharts()
    {
        guitest::RecordingSink sink;
        CReportWindow window(Location::Parse(m_path), JoinFilter{}, &sink);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        window.m_pFrom->SetMoment("2024-03-01 00:00:00");
        window.m_pTo->SetMoment("2024-10-31 00:00:00");
        window.m_pBy->setCurrentIndex(int(ReportPeriod::Week));
        window.show();
        QSignalSpy finished(&window, &CReportWindow::Finished);
        window.Run();
        QVERIFY(finished.wait(20000) || finished.count() == 1);
        QVERIFY(!window.IsRunning());

        const Report& report = window.Shown();
        QCOMPARE(report.total.events, qint64(288));
        const QAbstractItemModel* model = window.m_pTable->model();
        QCOMPARE(model->rowCount(), report.rows.size() + report.userTotals.size() + 1);
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("2024-03-25"));
        // Sorting by events puts the overall total first.
        window.m_pTable->sortByColumn(3, Qt::DescendingOrder);
        QCOMPARE(model->index(0, 3).data().toLongLong(), qint64(288));

        for (QWidget* chart :
             {static_cast<QWidget*>(window.m_pPeriods), static_cast<QWidget*>(window.m_pHours)})
            QVERIFY(painted(chart->grab().toImage()));
        QCOMPARE(window.m_pChartUser->count(), report.userTotals.size() + 1);
        window.m_pChartUser->setCurrentIndex(1);
        QVERIFY(painted(window.m_pPeriods->grab().toImage()));
        QVERIFY(sink.messages.isEmpty());

        // File > Print, to a PDF: every page has the header.
        const QString pdf = m_dir.filePath(QStringLiteral("printed.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        window.Print(printer);
        const testrun::Result info = testrun::Run({pdf}, {.program = QStringLiteral("pdfinfo")});
        const QRegularExpressionMatch pages =
            QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info.out);
        QVERIFY2(pages.hasMatch(), qPrintable(info.out + info.err));
        const int count = pages.captured(1).toInt();
        QVERIFY(count >= 2);
        const QString text =
            testrun::Run({pdf, QStringLiteral("-")}, {.program = QStringLiteral("pdftotext")}).out;
        QCOMPARE(text.count(QStringLiteral("Report of ") + m_path), count);
        QVERIFY(text.contains(QStringLiteral("Page %1 of %1").arg(count)));
    }

    // Cancel stops the statement the server is running, not only the report
    // between its pieces: here the statement waits for a lock held meanwhile.
    void cancelStopsTheServersStatement()
    {
        testpg::Server& pg = testpg::Server::Instance();
        if (!pg.IsRunning())
            QSKIP(qPrintable(pg.Error()));
        const QString name = pg.CreateDatabase();
        QVERIFY(!name.isEmpty());
        CreateServerTables(Location::Parse(pg.Uri(name)));
        QCOMPARE(pg.Exec(name, {dataStatements().at(1)}), QString());
        const QString running = QStringLiteral(
            "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND "
            "pid <> pg_backend_pid() AND state = 'active'");
        {
            QSqlDatabase locker =
                QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("locker"));
            locker.setHostName(QStringLiteral("127.0.0.1"));
            locker.setPort(pg.Port());
            locker.setUserName(QStringLiteral("postgres"));
            locker.setDatabaseName(name);
            QVERIFY(locker.open() && locker.transaction());
            QVERIFY(QSqlQuery(locker).exec(
                QStringLiteral("LOCK TABLE \"EVENTS\" IN ACCESS EXCLUSIVE MODE")));

            CReportWindow window(Location::Parse(pg.Uri(name)), JoinFilter{}, nullptr);
            window.setAttribute(Qt::WA_DeleteOnClose, false);
            // Ending the transaction also when a check fails, before the
            // window waits for its report.
            const auto release = qScopeGuard([&locker] { locker.close(); });
            window.m_pFrom->SetMoment("2024-03-01 00:00:00");
            window.m_pTo->SetMoment("2024-10-31 00:00:00");
            window.show();
            window.Run();
            QTRY_COMPARE_WITH_TIMEOUT(pg.Scalar(name, running).toInt(), 1, 20000);
            window.m_pCancel->click();
            QCOMPARE(window.m_pStatus->text(), QStringLiteral("Cancelled."));
            QVERIFY(window.m_pRun->isEnabled());
            // Gone while the lock is still held.
            QTRY_COMPARE_WITH_TIMEOUT(pg.Scalar(name, running).toInt(), 0, 20000);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    }
};

QTEST_MAIN(TestAppReport)
#include "test_app_report.moc"
