// Tools > Users and File > Export through the real widgets: a hand-over and a
// removal written on OK and shown by the list at once, nothing on Cancel; a
// CSV file written with the number of rows told.

#include "app/desktopapp.h"
#include "app/dialogs/datefield.h"
#include "app/dialogs/exportdialog.h"
#include "app/dialogs/filterdialog.h"
#include "app/dialogs/reportwindow.h"
#include "app/dialogs/usersdialog.h"
#include "app/mainwindow.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/zq6set.h"
#include "tests/support/guitest.h"
#include "view/eventlistview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

void click(QDialog& dialog, const char* button)
{
    auto* b = dialog.findChild<QPushButton*>(QLatin1String(button));
    QVERIFY2(b, button);
    QTest::mouseClick(b, Qt::LeftButton);
}

QStringList column(const QStandardItemModel* model, int c)
{
    QStringList texts;
    for (int r = 0; r < model->rowCount(); ++r)
        texts << model->item(r, c)->text();
    return texts;
}

} // namespace

class TestAppUsers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    guitest::RecordingSink m_sink;
    guitest::ScriptedUi m_ui;
    guitest::FixedPorts m_ports;

private Q_SLOTS:
    void handOverAndRemoveAreStoredOnOkOnly()
    {
        const QString path = m_dir.filePath("users.db");
        QVERIFY(testdb::copyTemplate(path));
        // Eve's period overlaps Anna's; the event of 10 July belongs to both. A
        // hand-over ends both there.
        QCOMPARE(
            testdb::exec(path, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES "
                                "('Anna', 3, '2024-01-01 00:00:00', '9999-12-31 23:59:59'), "
                                "('Eve', 3, '2024-06-15 00:00:00', '2024-07-15 00:00:00'), "
                                "('Otto', 4, '2024-01-01 00:00:00', '9999-12-31 23:59:59')",
                                "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                "(1, '2024-06-01 08:00:00', 3, '0'), "
                                "(2, '2024-07-10 08:00:00', 3, '0'), "
                                "(3, '2024-08-01 08:00:00', 3, '0')"}),
            QString());
        DesktopApp app(&m_sink, &m_ui, &m_ports);
        QVERIFY(app.Start(guitest::StartWith(path)));
        QCOMPARE(app.ListView()->RowCount(), qint64(4));

        bool handedOver = false;
        auto usersDialog = [&](QDialog& dialog) {
            if (auto* d = qobject_cast<HandOverDialog*>(&dialog)) {
                d->show();
                QCOMPARE(d->UserNo(), 3); // of the row selected
                QTest::keyClicks(guitest::Child<QLineEdit>(d, "name"), "Jan");
                guitest::Child<DateField>(d, "at")->SetMoment("2024-07-01 10:00:00");
                click(*d, "ok");
                return;
            }
            auto* users = qobject_cast<UsersDialog*>(&dialog);
            QVERIFY(users);
            users->show();
            QTableView* table = users->Table();
            const QStandardItemModel* model = users->Model();
            if (handedOver) {
                QCOMPARE(column(model, 0), (QStringList{"Anna", "Jan", "Otto"}));
                table->selectRow(2);
                click(*users, "remove");
                click(*users, "cancel");
                return;
            }
            QCOMPARE(column(model, 0), (QStringList{"Anna", "Eve", "Otto"}));
            // Only the overlapping periods are marked.
            QVERIFY(!model->item(0, 0)->toolTip().isEmpty());
            QVERIFY(!model->item(1, 2)->toolTip().isEmpty());
            QVERIFY(model->item(2, 0)->toolTip().isEmpty());
            table->selectRow(0);
            click(*users, "handOver");
            QCOMPARE(column(model, 0), (QStringList{"Anna", "Eve", "Jan", "Otto"}));
            QCOMPARE(column(model, 3), (QStringList{"2024-07-01 10:00:00", "2024-07-01 10:00:00",
                                                    "no end", "no end"}));
            table->selectRow(1);
            click(*users, "remove");
            QCOMPARE(column(model, 0), (QStringList{"Anna", "Jan", "Otto"}));
            QVERIFY(model->item(0, 0)->toolTip().isEmpty());
            QCOMPARE(testdb::scalar(path, "SELECT count(*) FROM USERS").toInt(), 3);
            click(*users, "ok");
            handedOver = true;
        };
        m_ui.onModal = [&](QDialog& dialog) {
            usersDialog(dialog);
            return dialog.result();
        };
        QVERIFY(guitest::Trigger(app.Window(), "users"));
        QVERIFY(handedOver);
        QCOMPARE(m_sink.Texts(), QStringList());
        QCOMPARE(app.ListView()->RowCount(), qint64(3));
        QStringList names;
        for (const JoinedRow& row : g_pSet->FetchRows(0, 10))
            names << row.name;
        QCOMPARE(names, (QStringList{"Anna", "Jan", "Jan"}));

        // Cancel: the removal is not written.
        m_ui.modalClasses.clear();
        QVERIFY(guitest::Trigger(app.Window(), "users"));
        QCOMPARE(m_ui.modalClasses, QStringList{"UsersDialog"});
        QCOMPARE(testdb::rows(path, "SELECT NAME, DATE_START, DATE_STOP FROM USERS ORDER BY NAME"),
                 (QVector<QVariantList>{{"Anna", "2024-01-01 00:00:00", "2024-07-01 10:00:00"},
                                        {"Jan", "2024-07-01 10:00:00", "9999-12-31 23:59:59"},
                                        {"Otto", "2024-01-01 00:00:00", "9999-12-31 23:59:59"}}));

        // File > Export of the days from 1 July on.
        const QString csv = m_dir.filePath("out.csv");
        m_ui.onModal = [&](QDialog& dialog) {
            if (auto* d = qobject_cast<ExportDialog*>(&dialog)) {
                guitest::Child<QLineEdit>(d, "path")->setText(csv);
                guitest::Child<QCheckBox>(d, "useFrom")->setChecked(true);
                guitest::Child<DateField>(d, "from")->SetMoment("2024-07-01 00:00:00");
                click(*d, "ok");
            }
            return dialog.result();
        };
        QVERIFY(guitest::Trigger(app.Window(), "exportEvents"));
        QCOMPARE(m_sink.Texts(), QStringList{"Number of exported rows:  2"});
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("date,time,user_no,user_name,timer,button\r\n"
                                            "2024-07-10,08:00:00,3,Jan,2,0\r\n"
                                            "2024-08-01,08:00:00,3,Jan,3,0\r\n"));
    }

    // Rows of a number whose periods overlap are marked, each with the same
    // few lines however many pairs overlap.
    void overlapsAreToldPerNumber()
    {
        const QString path = m_dir.filePath("overlaps.db");
        QVERIFY(testdb::copyTemplate(path));
        QStringList rows{"('Otto', 4, '2024-01-01 00:00:00', '9999-12-31 23:59:59')"};
        for (int i = 0; i < 6; ++i)
            rows << QStringLiteral("('U%1', 7, '2024-01-0%2 00:00:00', '9999-12-31 23:59:59')")
                        .arg(i)
                        .arg(i + 1);
        QCOMPARE(testdb::exec(path, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                     "VALUES " +
                                     rows.join(", ")}),
                 QString());
        CDatabase db;
        db.OpenFile(path);
        UsersDialog dialog(&db, &m_ui, &m_sink);
        QVERIFY(dialog.Load());
        const QStandardItemModel* model = dialog.Model();
        QCOMPARE(model->rowCount(), 7);
        QVERIFY(model->item(0, 0)->toolTip().isEmpty());
        const QString told =
            "Overlaps: user number 7: U0 (2024-01-01 00:00:00 to no end) and U1 (2024-01-02 "
            "00:00:00 to no end)\n"
            "Overlaps: user number 7: U0 (2024-01-01 00:00:00 to no end) and U2 (2024-01-03 "
            "00:00:00 to no end)\n"
            "Overlaps: user number 7: U1 (2024-01-02 00:00:00 to no end) and U2 (2024-01-03 "
            "00:00:00 to no end)\n"
            "Overlaps: user number 7: and 12 more pairs; 6 periods overlap another";
        for (int row = 1; row < 7; ++row) {
            QCOMPARE(model->item(row, 3)->toolTip(), told);
            QVERIFY(model->item(row, 3)->background() != model->item(0, 3)->background());
        }
    }

    void filterNarrowsTheListAndItsExportUntilCleared()
    {
        const QString path = m_dir.filePath("filter.db");
        QVERIFY(testdb::copyTemplate(path));
        QCOMPARE(
            testdb::exec(path, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES "
                                "('Anna', 3, '2024-01-01 00:00:00', '9999-12-31 23:59:59'), "
                                "('Otto', 4, '2024-01-01 00:00:00', '9999-12-31 23:59:59')",
                                "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                "(1, '2024-06-01 08:00:00', 3, '0'), "
                                "(2, '2024-06-02 08:00:00', 4, '1'), "
                                "(3, '2024-06-03 08:00:00', 3, '1'), "
                                "(4, '2024-06-04 08:00:00', 4, '0'), "
                                "(5, '2024-06-05 08:00:00', 3, '1')"}),
            QString());
        DesktopApp app(&m_sink, &m_ui, &m_ports);
        QVERIFY(app.Start(guitest::StartWith(path)));
        EventListView* view = app.ListView();
        QCOMPARE(view->FilterBarText(), QString());
        QCOMPARE(guitest::Command(app.Window(), "filter")->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_L));
        const auto shownTimers = [] {
            QList<int> timers;
            for (const JoinedRow& row : g_pSet->FetchRows(0, 10))
                timers << row.timer;
            return timers;
        };

        // A wrong user number keeps the dialog open; then Anna's button 1.
        QString refused;
        m_ui.onModal = [&](QDialog& dialog) {
            auto* d = qobject_cast<FilterDialog*>(&dialog);
            if (!d)
                return int(QDialog::Rejected);
            auto* userNos = guitest::Child<QLineEdit>(d, "userNos");
            userNos->setText("3, x");
            click(*d, "ok");
            refused = guitest::Child<QLabel>(d, "error")->text();
            userNos->clear();
            QTest::keyClicks(guitest::Child<QLineEdit>(d, "name"), "aNN");
            auto* button = guitest::Child<QComboBox>(d, "button");
            button->setCurrentIndex(button->findText("1"));
            click(*d, "ok");
            return d->result();
        };
        QVERIFY(guitest::Trigger(app.Window(), "filter"));
        QCOMPARE(refused, QString("\"x\" is not a user number from -1 to 510."));
        QCOMPARE(shownTimers(), (QList<int>{3, 5}));
        QCOMPARE(view->RowCount(), qint64(2));
        QCOMPARE(view->FilterBarText(), QString("Filtered: 2 of 5 events"));

        // A download or another program's keeps the filter.
        QCOMPARE(testdb::exec(path, {"INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                     "(6, '2024-06-06 08:00:00', 3, '1'), "
                                     "(7, '2024-06-07 08:00:00', 4, '1')"}),
                 QString());
        app.Document()->UpdateAllViews();
        QCOMPARE(shownTimers(), (QList<int>{3, 5, 6}));
        QCOMPARE(view->FilterBarText(), QString("Filtered: 3 of 7 events"));

        // Export offers the filtered events, ticked.
        const QString csv = m_dir.filePath("filtered.csv");
        m_ui.onModal = [&](QDialog& dialog) {
            auto* d = qobject_cast<ExportDialog*>(&dialog);
            if (!d || !guitest::Child<QCheckBox>(d, "onlyFiltered")->isChecked())
                return int(QDialog::Rejected);
            guitest::Child<QLineEdit>(d, "path")->setText(csv);
            click(*d, "ok");
            return d->result();
        };
        m_sink.messages.clear();
        QVERIFY(guitest::Trigger(app.Window(), "exportEvents"));
        QCOMPARE(m_sink.Texts(), QStringList{"Number of exported rows:  3"});

        // The report counts the rows the list shows, and says so.
        QVERIFY(guitest::Trigger(app.Window(), "report"));
        auto* report = app.Window()->findChild<ReportWindow*>();
        QVERIFY(report);
        QSignalSpy finished(report, &ReportWindow::Finished);
        QVERIFY(!report->IsRunning() || finished.wait(20000));
        QCOMPARE(report->Shown().total.events, qint64(3));
        QCOMPARE(guitest::Child<QLabel>(report, "filter")->text(),
                 QString("Filter: name \"aNN\", button 1"));
        report->close();

        QVERIFY(guitest::Trigger(app.Window(), "clearFilter"));
        QCOMPARE(shownTimers(), (QList<int>{1, 2, 3, 4, 5, 6, 7}));
        QCOMPARE(view->FilterBarText(), QString());
    }

    void exportGuardsNamesAndNeverReplacesTheDatabase_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("raw");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QByteArray>("written");
        const QByteArray header = "date,time,user_no,user_name,timer,button\r\n";
        QTest::newRow("guarded") << "formula.csv" << false << "Number of exported rows:  1"
                                 << header + "2024-06-01,08:00:00,-1,'=1+2,-1,0\r\n";
        QTest::newRow("raw") << "formula.csv" << true << "Number of exported rows:  1"
                             << header + "2024-06-01,08:00:00,-1,=1+2,-1,0\r\n";
        QTest::newRow("its journal")
            << "formula.db-journal" << false << "Cannot write" << QByteArray();
    }
    void exportGuardsNamesAndNeverReplacesTheDatabase()
    {
        QFETCH(QString, target);
        QFETCH(bool, raw);
        QFETCH(QString, told);
        QFETCH(QByteArray, written);
        const QString path = m_dir.filePath("formula.db");
        QVERIFY(QFile::exists(path) || testdb::copyTemplate(path));
        QCOMPARE(testdb::exec(path, {"DELETE FROM USERS", "DELETE FROM EVENTS",
                                     "INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                     "VALUES ('=1+2', -1, '2024-01-01', '9999-12-31 23:59:59')",
                                     "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                     "(-1, '2024-06-01 08:00:00', -1, '0')"}),
                 QString());
        DesktopApp app(&m_sink, &m_ui, &m_ports);
        QVERIFY(app.Start(guitest::StartWith(path)));
        m_sink.messages.clear();
        const QString csv = m_dir.filePath(target);
        m_ui.onModal = [&](QDialog& dialog) {
            if (auto* d = qobject_cast<ExportDialog*>(&dialog)) {
                guitest::Child<QLineEdit>(d, "path")->setText(csv);
                guitest::Child<QCheckBox>(d, "raw")->setChecked(raw);
                click(*d, "ok");
            }
            // The file of the row before is replaced.
            if (auto* box = qobject_cast<QMessageBox*>(&dialog))
                box->button(QMessageBox::Yes)->click();
            return dialog.result();
        };
        QVERIFY(guitest::Trigger(app.Window(), "exportEvents"));
        QVERIFY2(m_sink.Texts().value(0).startsWith(told), qPrintable(m_sink.Texts().join('\n')));
        QFile file(csv);
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), written);
    }

    // A name typed without a suffix gets ".csv"; a file that is there is
    // replaced only when the user says so; the message names the file.
    void exportAddsCsvAndAsksBeforeReplacing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<bool>("replace");
        QTest::newRow("suffix added") << "plain" << false << false;
        QTest::newRow("kept") << "kept.csv" << true << false;
        QTest::newRow("replaced, suffix added") << "kept" << true << true;
    }
    void exportAddsCsvAndAsksBeforeReplacing()
    {
        QFETCH(QString, typed);
        QFETCH(bool, existing);
        QFETCH(bool, replace);
        const QString path = m_dir.filePath("replace.db");
        QVERIFY(QFile::exists(path) ||
                (testdb::copyTemplate(path) &&
                 testdb::exec(path, {"INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                     "(1, '2024-06-01 08:00:00', 3, '0')"})
                     .isEmpty()));
        const QString written = m_dir.filePath(typed.endsWith(".csv") ? typed : typed + ".csv");
        QFile::remove(written);
        QFile old(written);
        QVERIFY(!existing || (old.open(QIODevice::WriteOnly) && old.write("old") == 3));
        old.close();
        DesktopApp app(&m_sink, &m_ui, &m_ports);
        QVERIFY(app.Start(guitest::StartWith(path)));
        m_sink.messages.clear();
        QStringList asked;
        m_ui.onModal = [&](QDialog& dialog) {
            if (auto* d = qobject_cast<ExportDialog*>(&dialog)) {
                d->show();
                guitest::Child<QLineEdit>(d, "path")->setText(m_dir.filePath(typed));
                click(*d, "ok");
                if (d->isVisible())
                    click(*d, "cancel");
            } else if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                asked << box->text();
                box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
            }
            return dialog.result();
        };
        QVERIFY(guitest::Trigger(app.Window(), "exportEvents"));
        QCOMPARE(asked, existing ? QStringList{"\"" + written + "\" exists already. Replace it?"}
                                 : QStringList());
        QFile file(written);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const bool exported = !existing || replace;
        QCOMPARE(file.readAll().startsWith("date,time,"), exported);
        QCOMPARE(m_sink.messages.size(), exported ? 1 : 0);
        if (exported)
            QCOMPARE(m_sink.messages.first().message.detail, "Written to \"" + written + "\".");
    }
};

QTEST_MAIN(TestAppUsers)
#include "test_app_users.moc"
