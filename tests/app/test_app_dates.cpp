// Dates typed into the date fields of every dialog, as a user types them:
// click, Ctrl+A, the text. What is typed is what is stored or used; a text
// that cannot be read shows why under the field and nothing is stored.

#include "app/desktopapp.h"
#include "app/dialogs/datefield.h"
#include "app/dialogs/exportdialog.h"
#include "app/dialogs/filterdialog.h"
#include "app/dialogs/reportwindow.h"
#include "app/dialogs/usersdialog.h"
#include "app/mainwindow.h"
#include "db/record/dbstate.h"
#include "db/zq6set.h"
#include "tests/support/guitest.h"
#include "view/eventlistview.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

// Anna's name is long: the users' table must still show the dates whole.
const QString kAnna =
    QStringLiteral("Zażółć Gęślą Jaźń Świętosław Brzęczyszczykiewicz-Wolskich "
                   "z Chrząszczyżewoszyc powiat Łękołody, herbu Pół Kozła i Trzech");

void click(QWidget& dialog, const char* button)
{
    auto* b = dialog.findChild<QPushButton*>(QLatin1String(button));
    QVERIFY2(b, button);
    QTest::mouseClick(b, Qt::LeftButton);
}

void typeInto(DateField* field, const QString& text)
{
    QTest::mouseClick(field->Edit(), Qt::LeftButton);
    QTest::keyClick(field->Edit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field->Edit(), text);
}

// The reason shown under the field, checked to show whole in its window;
// empty when none shows.
QString shownReason(const DateField* field)
{
    const QLabel* label = field->ProblemLabel();
    if (!label->isVisible())
        return {};
    const QWidget* window = label->window();
    const QRect inWindow(label->mapTo(window, QPoint(0, 0)), label->size());
    if (!window->rect().contains(inWindow) ||
        label->height() < label->heightForWidth(label->width()))
        return QStringLiteral("clipped: ") + label->text();
    return label->text();
}

} // namespace

class TestAppDates : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    guitest::RecordingSink m_sink;
    guitest::ScriptedUi m_ui;
    guitest::FixedPorts m_ports;
    int m_run = 0;

private Q_SLOTS:
    void typedDatesAreTakenExactly_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::addColumn<int>("events");     // at or after the moment
        QTest::addColumn<QString>("reason");
        const struct
        {
            const char* typed;
            const char* stored;
            int events;
            const char* reason;
        } texts[] = {{"2025-03-01 08:15:00", "2025-03-01 08:15:00", 2, ""},
                     {"2025-3-1", "2025-03-01 00:00:00", 5, ""},
                     {"2025-03-01 8:05", "2025-03-01 08:05:00", 4, ""},
                     {"2025-02-30", "", 0, "2025-02 has no day 30"},
                     {"2025-13-01", "", 0, "no month 13"},
                     {"abc", "", 0, "Not a date"},
                     {"2025-03-01 24:00", "", 0, "hour"}};
        for (const char* dialog : {"add", "edit", "handOver", "filter", "export", "report"}) {
            for (const auto& t : texts) {
                // The report counts whole days: a time is refused there.
                const bool timeRefused = QLatin1String(dialog) == QLatin1String("report") &&
                                         *t.stored && QByteArray(t.typed).contains(' ');
                QTest::newRow(QByteArray(dialog).append(' ').append(t.typed).constData())
                    << dialog << t.typed << (timeRefused ? "" : t.stored) << t.events
                    << (timeRefused ? "without a time" : t.reason);
            }
        }
    }
    void typedDatesAreTakenExactly()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(int, events);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath(QStringLiteral("dates%1.db").arg(++m_run));
        QVERIFY(testdb::copyTemplate(path));
        QCOMPARE(
            testdb::exec(path, {"INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) "
                                "VALUES ('" +
                                    kAnna + "', 3, '2024-01-01 00:00:00', '9999-12-31 23:59:59')",
                                "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES "
                                "(1, '2025-02-28 23:00:00', 3, '0'), "
                                "(2, '2025-03-01 00:00:00', 3, '0'), "
                                "(3, '2025-03-01 08:05:00', 3, '0'), "
                                "(4, '2025-03-01 08:10:00', 3, '0'), "
                                "(5, '2025-03-01 08:15:00', 3, '0'), "
                                "(6, '2025-03-01 09:00:00', 3, '0')"}),
            QString());
        m_sink.messages.clear();
        DesktopApp app(&m_sink, &m_ui, &m_ports);
        QVERIFY(app.Start(guitest::StartWith(path)));
        MainWindow* frame = app.Window();

        QString shown = QStringLiteral("(no dialog)");
        // Types into the field and clicks OK; a dialog that stays open is
        // cancelled.
        const auto enter = [&](QDialog& d, DateField* field) {
            d.show();
            typeInto(field, typed);
            click(d, "ok");
            shown = shownReason(field);
            if (d.isVisible())
                click(d, "cancel");
            return d.result();
        };

        if (dialog == "report") {
            QVERIFY(guitest::Trigger(frame, "report"));
            auto* report = frame->findChild<ReportWindow*>();
            QVERIFY(report);
            QSignalSpy finished(report, &ReportWindow::Finished);
            QVERIFY(!report->IsRunning() || finished.wait(20000));
            QCOMPARE(report->Shown().total.events, qint64(6)); // the month up to 1 March
            auto* from = guitest::Child<DateField>(report, "from");
            typeInto(from, typed);
            QTest::mouseClick(guitest::Child<QPushButton>(report, "run"), Qt::LeftButton);
            QVERIFY(!report->IsRunning() || finished.wait(20000));
            shown = shownReason(from);
            QCOMPARE(report->Shown().total.events, qint64(stored.isEmpty() ? 6 : events));
            if (stored.isEmpty())
                QCOMPARE(guitest::Child<QLabel>(report, "status")->text(),
                         QStringLiteral("Nothing was counted: a day cannot be read."));
            report->close();
        } else if (dialog == "filter") {
            m_ui.onModal = [&](QDialog& d) {
                QTest::mouseClick(guitest::Child<QCheckBox>(&d, "useFrom"), Qt::LeftButton);
                return enter(d, guitest::Child<DateField>(&d, "from"));
            };
            QVERIFY(guitest::Trigger(frame, "filter"));
            QCOMPARE(g_pSet->GetFilter().from, stored);
            QCOMPARE(app.ListView()->RowCount(), qint64(stored.isEmpty() ? 6 : events));
        } else if (dialog == "export") {
            const QString csv = m_dir.filePath(QStringLiteral("dates%1.csv").arg(m_run));
            m_ui.onModal = [&](QDialog& d) {
                guitest::Child<QLineEdit>(&d, "path")->setText(csv);
                QTest::mouseClick(guitest::Child<QCheckBox>(&d, "useFrom"), Qt::LeftButton);
                return enter(d, guitest::Child<DateField>(&d, "from"));
            };
            QVERIFY(guitest::Trigger(frame, "exportEvents"));
            QFile file(csv);
            const QByteArray written = file.open(QIODevice::ReadOnly) ? file.readAll() : "";
            QCOMPARE(written.count('\n'), stored.isEmpty() ? 0 : events + 1); // and the header
            QCOMPARE(m_sink.Texts(),
                     stored.isEmpty()
                         ? QStringList()
                         : QStringList{QStringLiteral("Number of exported rows:  %1").arg(events)});
        } else {
            bool datesWhole = false;
            m_ui.onModal = [&](QDialog& d) {
                if (auto* users = qobject_cast<UsersDialog*>(&d)) {
                    users->show();
                    // The dates show whole beside the long name.
                    const QTableView* table = users->Table();
                    datesWhole = table->columnViewportPosition(2) + table->columnWidth(2) <=
                                     table->viewport()->width() &&
                                 table->columnWidth(2) > table->fontMetrics().horizontalAdvance(
                                                             QStringLiteral("2024-01-01 00:00:00"));
                    click(*users, dialog.toLatin1().constData());
                    click(*users, "ok");
                    return users->result();
                }
                if (qobject_cast<UserPeriodDialog*>(&d)) {
                    if (dialog == "add")
                        guitest::Child<QLineEdit>(&d, "name")->setText(QStringLiteral("Jan"));
                    return enter(d, guitest::Child<DateField>(&d, "start"));
                }
                guitest::Child<QLineEdit>(&d, "name")->setText(QStringLiteral("Jan"));
                return enter(d, guitest::Child<DateField>(&d, "at"));
            };
            QVERIFY(guitest::Trigger(frame, "users"));
            QVERIFY(datesWhole);
            QCOMPARE(testdb::rows(path, "SELECT NAME, DATE_START FROM USERS ORDER BY DATE_START"),
                     stored.isEmpty()   ? (QVector<QVariantList>{{kAnna, "2024-01-01 00:00:00"}})
                     : dialog == "edit" ? (QVector<QVariantList>{{kAnna, stored}})
                                        : (QVector<QVariantList>{{kAnna, "2024-01-01 00:00:00"},
                                                                 {"Jan", stored}}));
        }
        QVERIFY2(shown.contains(reason) && shown.isEmpty() == reason.isEmpty(), qPrintable(shown));
    }

    // A day picked from the calendar keeps the time typed.
    void calendarPicksTheDay()
    {
        DateField field(DateField::Kind::DateAndTime);
        field.show();
        QSignalSpy validity(&field, &DateField::ValidityChanged);
        typeInto(&field, QStringLiteral("2025-03-01 8:15"));
        QVERIFY(field.IsValid());
        validity.clear();
        QTest::keyClick(field.Edit(), Qt::Key_Backspace);
        QCOMPARE(validity.count(), 1); // "8:1" has one digit of minutes
        QVERIFY(!field.IsValid());
        QTest::keyClick(field.Edit(), Qt::Key_5);
        QCOMPARE(field.Moment(), QStringLiteral("2025-03-01 08:15:00"));
        QTest::mouseClick(field.CalendarButton(), Qt::LeftButton);
        QCalendarWidget* calendar = field.Calendar();
        QVERIFY(calendar && calendar->isVisible());
        QCOMPARE(calendar->selectedDate(), QDate(2025, 3, 1));
        auto* days = calendar->findChild<QTableView*>();
        QTest::keyClick(days, Qt::Key_Right);
        QTest::keyClick(days, Qt::Key_Return);
        QVERIFY(!calendar->isVisible());
        QCOMPARE(field.Edit()->text(), QStringLiteral("2025-03-02 8:15"));
        QCOMPARE(validity.count(), 2);
    }
};

QTEST_MAIN(TestAppDates)
#include "test_app_dates.moc"
