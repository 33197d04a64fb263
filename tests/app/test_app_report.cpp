// The report window offscreen, its pages read back with poppler's tools, and
// the report's hours across both changes of daylight saving time.

#include "app/dialogs/datefield.h"
#include "app/dialogs/reportwindow.h"
#include "db/backend/serverdb.h"
#include "db/record/database.h"
#include "formats/reportchart.h"
#include "formats/reportpdf.h"
#include "tests/support/guitest.h"
#include "tests/support/pdftext.h"
#include "tests/support/pgserver.h"
#include "tests/support/programrun.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
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

// A name that takes a few lines on paper.
const QString kLongName =
    QStringLiteral("Zażółć Gęślą Jaźń Świętosław Brzęczyszczykiewicz-").repeated(3).left(120);

// An event every 20 minutes of real time over the two days around each
// change, numbers 1 (held by Anna from the 31st of March), 2 (by kLongName
// in October) and 9 (nobody).
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
            "'2024-03-31 00:00:00', '9999-12-31 23:59:59'), ('" +
                kLongName + "', 2, '2024-10-01 00:00:00', '9999-12-31 23:59:59')",
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

// A report of Anna's events in the periods given, and of a count of seven
// digits at midnight.
Report madeUpReport(ReportPeriod by, const QString& from, const QString& to,
                    const QStringList& periods)
{
    Report report;
    report.by = by;
    report.from = from;
    report.to = to;
    for (const QString& period : periods)
        report.rows.append({period, 1, true, QStringLiteral("Anna"), {40, 1, {}, {}}});
    report.userTotals.append({{}, 1, true, QStringLiteral("Anna"), {80, 2, {}, {}}});
    report.total = report.userTotals.first().counts;
    report.total.first = periods.first() + QStringLiteral("-01 08:00:00");
    report.total.last = periods.last() + QStringLiteral("-01 08:00:00");
    report.byHour[0] = 1234567;
    report.byHour[23] = 1;
    return report;
}

QString written(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}

QAction* fileCommand(QMainWindow& window, const QString& text)
{
    for (QAction* action : window.menuBar()->actions().first()->menu()->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
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

    // The last day a date may have counts to the end, as --to does on the
    // command line.
    void windowCountsUpToTheLastDayOf9999()
    {
        guitest::RecordingSink sink;
        ReportWindow window(Location::Parse(m_path), JoinFilter{}, &sink, nullptr);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        window.SetDays("2024-03-31 00:00:00", "9999-12-31 00:00:00");
        QSignalSpy finished(&window, &ReportWindow::Finished);
        window.Run();
        QVERIFY(finished.wait(20000) || finished.count() == 1);
        // All but the 69 events of the 30th of March.
        QCOMPARE(window.Shown().total.events, qint64(288 - 69));
        QVERIFY(sink.messages.isEmpty());
    }

    void windowShowsTheTableAndCharts()
    {
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        ReportWindow window(Location::Parse(m_path), JoinFilter{}, &sink, nullptr, &ui);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        window.SetDays("2024-03-01 00:00:00", "2024-10-31 00:00:00");
        window.SetPeriod(ReportPeriod::Week);
        window.show();
        QSignalSpy finished(&window, &ReportWindow::Finished);
        window.Run();
        QVERIFY(finished.wait(20000) || finished.count() == 1);
        QVERIFY(!window.IsRunning());

        const Report& report = window.Shown();
        QCOMPARE(report.total.events, qint64(288));
        auto* table = guitest::Child<QTableView>(&window, "table");
        const QAbstractItemModel* model = table->model();
        QCOMPARE(model->rowCount(), report.rows.size() + report.userTotals.size() + 1);
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("2024-03-25"));
        // Sorting by events puts the overall total first.
        table->sortByColumn(3, Qt::DescendingOrder);
        QCOMPARE(model->index(0, 3).data().toLongLong(), qint64(288));

        auto* periods = guitest::Child<QWidget>(&window, "periodChart");
        for (QWidget* chart : {periods, guitest::Child<QWidget>(&window, "hourChart")})
            QVERIFY(painted(chart->grab().toImage()));
        auto* chartUser = guitest::Child<QComboBox>(&window, "chartUser");
        QCOMPARE(chartUser->count(), report.userTotals.size() + 1);
        chartUser->setCurrentIndex(1);
        QVERIFY(painted(periods->grab().toImage()));
        QVERIFY(sink.messages.isEmpty());

        // File > Print, to a PDF: every page has the header.
        const QString pdf = m_dir.filePath(QStringLiteral("printed.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
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
        // The range as the window names it, and when the report was made.
        QVERIFY(text.contains(QStringLiteral("Events from 2024-03-01 to 2024-10-31, by week")));
        QVERIFY(
            text.contains(QStringLiteral("Created ") + QDate::currentDate().toString(Qt::ISODate)));

        // Export as PDF and the preview give the pages printed.
        const QString exported = m_dir.filePath(QStringLiteral("exported.pdf"));
        ui.onModal = [&](QDialog& dialog) {
            static_cast<QFileDialog&>(dialog).selectFile(exported);
            return int(QDialog::Accepted);
        };
        fileCommand(window, QStringLiteral("&Export as PDF..."))->trigger();
        QCOMPARE(pdftext::LaidOut(exported), pdftext::LaidOut(pdf));
        QCOMPARE(sink.messages.size(), 1);
        QCOMPARE(sink.messages.last().message.text,
                 QStringLiteral("The report was written to \"%1\" (%2 pages).")
                     .arg(exported)
                     .arg(count));
        QCOMPARE(sink.messages.last().message.Caption(), QStringLiteral("OK"));
        int previewed = 0;
        ui.onModal = [&](QDialog& dialog) {
            auto* preview = dialog.findChild<QPrintPreviewWidget*>();
            preview->updatePreview();
            previewed = preview->pageCount();
            return int(QDialog::Rejected);
        };
        fileCommand(window, QStringLiteral("Print Pre&view..."))->trigger();
        QCOMPARE(previewed, count);

        // Printed to a file named without its suffix: the file of that name
        // with it is replaced only when the user agrees.
        for (const int answer : {QMessageBox::No, QMessageBox::Yes}) {
            QVERIFY(QFile::resize(exported, 10));
            QStringList asked;
            ui.onModal = [&](QDialog& dialog) {
                if (auto* print = qobject_cast<QPrintDialog*>(&dialog)) {
                    print->printer()->setOutputFormat(QPrinter::PdfFormat);
                    print->printer()->setOutputFileName(exported.chopped(4));
                    return int(QDialog::Accepted);
                }
                asked << static_cast<QMessageBox&>(dialog).text();
                return answer;
            };
            fileCommand(window, QStringLiteral("&Print..."))->trigger();
            QCOMPARE(
                asked,
                QStringList{QStringLiteral("\"%1\" already exists.\n\nReplace it?").arg(exported)});
            QCOMPARE(QFileInfo(exported).size() > 10, answer == QMessageBox::Yes);
            QCOMPARE(sink.messages.size(), answer == QMessageBox::Yes ? 2 : 1);
        }
        QCOMPARE(pdftext::LaidOut(exported), pdftext::LaidOut(pdf));
    }

    // Numbers, periods and dates whole; a long name wraps within its row,
    // which stays on one page, under the column heads.
    void pdfTableKeepsEveryText()
    {
        const QString first = QStringLiteral("2024-03-01 08:00:00");
        const QString last = QStringLiteral("2024-03-20 17:00:00");
        Report report;
        for (int i = 0; i < 60; ++i)
            report.rows.append({QStringLiteral("2024-03-%1").arg(i / 3 + 10),
                                i,
                                true,
                                QStringLiteral("N%1 %2 E%1").arg(i).arg(kLongName),
                                {1000000 + i, 1000000, first, last}});
        report.total = {1234567, 7654321, first, last};
        const QString pdf =
            written(m_dir.filePath(QStringLiteral("long.pdf")), ReportPdf(report, {}));
        const QStringList pages = pdftext::LaidOut(pdf);
        QVERIFY(pages.size() >= 3);
        const QRegularExpression heads(
            QStringLiteral("^ *Period +No\\. +User name +Events +Button 1 +First +Last *$"),
            QRegularExpression::MultilineOption);
        QString all;
        for (qsizetype p = 1; p < pages.size(); ++p) {
            QCOMPARE(pages.at(p).count(heads), 1);
            all += pages.at(p);
        }
        QVERIFY(!all.contains(QChar(0x2026)));
        QVERIFY(all.contains(QRegularExpression(
            QStringLiteral("All users +1234567 +7654321 +%1 +%2").arg(first, last))));
        // Each row's cells on its first line, the end of its name on its page.
        for (int i = 0; i < 60; ++i) {
            const QRegularExpression row(
                QStringLiteral("^ *2024-03-\\d\\d +%1 +N%1 .* %2 +1000000 +%3 +%4 *$")
                    .arg(QString::number(i), QString::number(1000000 + i), first, last),
                QRegularExpression::MultilineOption);
            const auto page = std::find_if(pages.cbegin(), pages.cend(),
                                           [&](const QString& text) { return text.contains(row); });
            QVERIFY2(page != pages.cend() &&
                         page->contains(QRegularExpression(QStringLiteral("\\bE%1\\b").arg(i))),
                     qPrintable(QString::number(i)));
        }
    }

    // Every period of the range along the time axis, those without events
    // as gaps; axis titles; labels thinned out where they would crowd, none
    // running into another or into the numbers; on paper and in the window.
    void chartsShowTheWholeRange_data()
    {
        QTest::addColumn<int>("by");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("events"); // periods with events
        QTest::addColumn<QStringList>("labels"); // shown among others
        QTest::addColumn<QSize>("window");       // none: on the first page
        QTest::newRow("weeks with gaps")
            << int(ReportPeriod::Week) << "2024-03-06 00:00:00"
            << "2024-04-20 00:00:00" << QStringList{"2024-03-04", "2024-04-15"}
            << QStringList{"2024-03-04", "2024-03-11", "2024-03-18", "2024-03-25",
                           "2024-04-01", "2024-04-08", "2024-04-15"}
            << QSize();
        QTest::newRow("months of the events") << int(ReportPeriod::Month) << ""
                                              << "" << QStringList{"2023-11", "2024-04"}
                                              << QStringList{"2023-12", "2024-02"} << QSize();
        QTest::newRow("a quarter of days")
            << int(ReportPeriod::Day) << "2024-01-01 00:00:00"
            << "2024-04-01 00:00:00" << QStringList{"2024-01-01", "2024-03-31"} << QStringList()
            << QSize();
        QTest::newRow("a month of days in the window")
            << int(ReportPeriod::Day) << "2024-03-01 00:00:00"
            << "2024-04-01 00:00:00" << QStringList{"2024-03-01", "2024-03-31"} << QStringList()
            << QSize(480, 240);
    }

    void chartsShowTheWholeRange()
    {
        QFETCH(int, by);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QStringList, events);
        QFETCH(QStringList, labels);
        QFETCH(QSize, window);
        const Report report = madeUpReport(ReportPeriod(by), from, to, events);
        const QString pdf = m_dir.filePath(QStringLiteral("chart.pdf"));
        if (window.isEmpty()) {
            QCOMPARE(written(pdf, ReportPdf(report, {})), pdf);
        } else {
            // Both charts at the window's size, in its font.
            QPdfWriter writer(pdf);
            writer.setResolution(96);
            writer.setPageSize(
                QPageSize(QSizeF(window.width(), window.height() * 2) * 0.75, QPageSize::Point));
            writer.setPageMargins({});
            QPainter painter(&writer);
            painter.setFont(QApplication::font());
            PaintPeriodChart(painter, QRectF(QPointF(), window), report);
            PaintHourChart(painter, QRectF(QPointF(0, window.height()), window), report);
        }
        const QVector<pdftext::Word> words = pdftext::Words(pdf, 1);
        QStringList texts;
        for (const pdftext::Word& word : words)
            texts << word.text;
        QVERIFY(texts.indexOf(QRegularExpression(QStringLiteral("^\\d{7}$"))) >= 0);
        QVERIFY(texts.filter(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d"))).size() >= 3);
        for (const QString& label : labels + QStringList{"Events", "Hour"})
            QVERIFY2(texts.contains(label),
                     qPrintable(label + QStringLiteral(" in ") + texts.join(QLatin1Char(' '))));
        QVERIFY(texts.contains(QStringList{"Day", "Week", "Month"}.at(by)));
        for (qsizetype i = 0; i < words.size(); ++i) {
            for (qsizetype j = i + 1; j < words.size(); ++j) {
                const QRectF both = words.at(i).box.intersected(words.at(j).box);
                QVERIFY2(both.width() < 0.5 || both.height() < 0.5,
                         qPrintable(words.at(i).text + QStringLiteral(" on ") + words.at(j).text));
            }
        }
    }

    // The window holds the numbers and dates in sight, the long name cut
    // short, and opens over the main window.
    void windowFitsItsColumnsOverItsParent()
    {
        QMainWindow parent;
        parent.setGeometry(30, 50, 720, 700);
        parent.show();
        CDatabase db;
        db.OpenFile(m_path);
        guitest::RecordingSink sink;
        ReportWindow* window = OpenReportWindow(db, JoinFilter{}, &sink, &parent);
        const auto close = qScopeGuard([window] { window->close(); });
        QSignalSpy finished(window, &ReportWindow::Finished);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY((window->frameGeometry().center() - parent.frameGeometry().center())
                    .manhattanLength() <= 4);
        QVERIFY(finished.wait(20000) || finished.count() == 1);

        const auto* table = guitest::Child<QTableView>(window, "table");
        const QHeaderView* header = table->horizontalHeader();
        const QAbstractItemModel* model = table->model();
        auto needed = [&](int column) {
            int width = 0;
            for (int row = 0; row < model->rowCount(); ++row)
                width = std::max(width, table->sizeHintForIndex(model->index(row, column)).width());
            return width;
        };
        QVERIFY(header->sectionViewportPosition(6) + header->sectionSize(6) <=
                table->viewport()->width());
        for (int column : {0, 1, 3, 4, 5, 6})
            QVERIFY(header->sectionSize(column) >= needed(column));
        const QModelIndexList named =
            model->match(model->index(0, 2), Qt::DisplayRole, kLongName, 1, Qt::MatchExactly);
        QCOMPARE(named.size(), 1);
        QCOMPARE(named.first().data(Qt::ToolTipRole).toString(), kLongName);
        QVERIFY(header->sectionSize(2) < needed(2));
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

            ReportWindow window(Location::Parse(pg.Uri(name)), JoinFilter{}, nullptr);
            window.setAttribute(Qt::WA_DeleteOnClose, false);
            // Ending the transaction also when a check fails, before the
            // window waits for its report.
            const auto release = qScopeGuard([&locker] { locker.close(); });
            window.SetDays("2024-03-01 00:00:00", "2024-10-31 00:00:00");
            window.show();
            window.Run();
            QTRY_COMPARE_WITH_TIMEOUT(pg.Scalar(name, running).toInt(), 1, 20000);
            guitest::Child<QPushButton>(&window, "cancel")->click();
            QCOMPARE(guitest::Child<QLabel>(&window, "status")->text(),
                     QStringLiteral("Cancelled."));
            QVERIFY(guitest::Child<QPushButton>(&window, "run")->isEnabled());
            // Gone while the lock is still held.
            QTRY_COMPARE_WITH_TIMEOUT(pg.Scalar(name, running).toInt(), 0, 20000);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    }
};

QTEST_MAIN(TestAppReport)
#include "test_app_report.moc"
