// Tools > Users and File > Export through the real widgets: a hand-over and a
// removal written on OK and shown by the list at once, nothing on Cancel; a
// CSV file written with the number of rows told.

#include "app/dialogs/exportdialog.h"
#include "app/dialogs/usersdialog.h"
#include "app/resource.h"
#include "app/zq6.h"
#include "db/record/dbstate.h"
#include "db/zq6set.h"
#include "tests/support/guitest.h"
#include "view/zq6view.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
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
        CZq6App app(&m_sink, &m_ui, &m_ports);
        CommandLineInfo cmd;
        cmd.dbPath = path;
        QVERIFY(app.InitInstance(cmd));
        QCOMPARE(app.GetView()->GetRowCount(), qint64(4));

        bool handedOver = false;
        auto usersDialog = [&](QDialog& dialog) {
            if (auto* d = qobject_cast<CHandOverDialog*>(&dialog)) {
                d->show();
                QCOMPARE(d->UserNo(), 3); // of the row selected
                QTest::keyClicks(d->m_pName, "Jan");
                d->m_pAt->setDateTime(QDateTime(QDate(2024, 7, 1), QTime(10, 0), Qt::UTC));
                click(*d, "IDOK");
                return;
            }
            auto* users = qobject_cast<CUsersDialog*>(&dialog);
            QVERIFY(users);
            users->show();
            QTableView* table = users->GetTable();
            const QStandardItemModel* model = users->GetModel();
            if (handedOver) {
                QCOMPARE(column(model, 0), (QStringList{"Anna", "Jan", "Otto"}));
                table->selectRow(2);
                click(*users, "remove");
                click(*users, "IDCANCEL");
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
            click(*users, "IDOK");
            handedOver = true;
        };
        m_ui.onModal = [&](QDialog& dialog) {
            usersDialog(dialog);
            return dialog.result();
        };
        QVERIFY(app.OnCmdMsg(ID_TOOLS_USERS));
        QVERIFY(handedOver);
        QCOMPARE(m_sink.Texts(), QStringList());
        QCOMPARE(app.GetView()->GetRowCount(), qint64(3));
        QStringList names;
        for (const JoinedRow& row : g_pSet->FetchRows(0, 10))
            names << row.name;
        QCOMPARE(names, (QStringList{"Anna", "Jan", "Jan"}));

        // Cancel: the removal is not written.
        m_ui.modalClasses.clear();
        QVERIFY(guitest::MenuCommand(app.GetMainWnd(), ID_TOOLS_USERS));
        guitest::MenuCommand(app.GetMainWnd(), ID_TOOLS_USERS)->trigger();
        QCOMPARE(m_ui.modalClasses, QStringList{"CUsersDialog"});
        QCOMPARE(testdb::rows(path, "SELECT NAME, DATE_START, DATE_STOP FROM USERS ORDER BY NAME"),
                 (QVector<QVariantList>{{"Anna", "2024-01-01 00:00:00", "2024-07-01 10:00:00"},
                                        {"Jan", "2024-07-01 10:00:00", "9999-12-31 23:59:59"},
                                        {"Otto", "2024-01-01 00:00:00", "9999-12-31 23:59:59"}}));

        // File > Export of the days from 1 July on.
        const QString csv = m_dir.filePath("out.csv");
        m_ui.onModal = [&](QDialog& dialog) {
            if (auto* d = qobject_cast<CExportDialog*>(&dialog)) {
                d->m_pPath->setText(csv);
                d->m_pUseFrom->setChecked(true);
                d->m_pFrom->setDateTime(QDateTime(QDate(2024, 7, 1), QTime(0, 0), Qt::UTC));
                click(*d, "IDOK");
            }
            return dialog.result();
        };
        QVERIFY(guitest::MenuCommand(app.GetMainWnd(), ID_FILE_EXPORT));
        guitest::MenuCommand(app.GetMainWnd(), ID_FILE_EXPORT)->trigger();
        QCOMPARE(m_sink.Texts(), QStringList{"Number of exported rows:  2"});
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("date,time,user_no,user_name,timer,button\r\n"
                                            "2024-07-10,08:00:00,3,Jan,2,0\r\n"
                                            "2024-08-01,08:00:00,3,Jan,3,0\r\n"));
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
        CZq6App app(&m_sink, &m_ui, &m_ports);
        CommandLineInfo cmd;
        cmd.dbPath = path;
        QVERIFY(app.InitInstance(cmd));
        m_sink.messages.clear();
        const QString csv = m_dir.filePath(target);
        m_ui.onModal = [&](QDialog& dialog) {
            if (auto* d = qobject_cast<CExportDialog*>(&dialog)) {
                d->m_pPath->setText(csv);
                d->m_pRaw->setChecked(raw);
                click(*d, "IDOK");
            }
            return dialog.result();
        };
        guitest::MenuCommand(app.GetMainWnd(), ID_FILE_EXPORT)->trigger();
        QVERIFY2(m_sink.Texts().value(0).startsWith(told), qPrintable(m_sink.Texts().join('\n')));
        QFile file(csv);
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), written);
    }
};

QTEST_MAIN(TestAppUsers)
#include "test_app_users.moc"
