// The Options dialog: the port list, the selection of the current port, and
// what OK, Cancel and Esc leave in the port name and the settings.

#include "app/desktopapp.h"
#include "app/dialogs/optionsdialog.h"
#include "app/mainwindow.h"
#include "link/portsetting.h"
#include "tests/support/guitest.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList Entries(const OptionsDialog& dlg)
{
    QStringList entries;
    for (int i = 0; i < dlg.PortList()->count(); ++i)
        entries << dlg.PortList()->item(i)->text();
    return entries;
}

QStringList Selected(const OptionsDialog& dlg)
{
    QStringList texts;
    for (QListWidgetItem* item : dlg.PortList()->selectedItems())
        texts << item->text();
    return texts;
}

QPushButton* Button(const OptionsDialog& dlg, const QString& text)
{
    for (QPushButton* b : dlg.findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

QWidget* NextTabStop(QWidget* w)
{
    do {
        w = w->nextInFocusChain();
    } while (!(w->focusPolicy() & Qt::TabFocus));
    return w;
}

} // namespace

class TestAppOptions : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
    }

    void dialogLayout()
    {
        guitest::FixedPorts ports({"COM1"});
        OptionsDialog dlg(nullptr, &ports);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Options"));
        QStringList labels;
        for (QLabel* l : dlg.findChildren<QLabel*>()) {
            if (!l->isHidden())
                labels << l->text();
        }
        // The field's label, and under the field what else it takes.
        QCOMPARE(labels, (QStringList{"Serial Port",
                                      "A port listed below, a device path, or a serial device "
                                      "server on the network: socket://HOST:PORT (raw TCP) or "
                                      "rfc2217://HOST:PORT."}));
        QPushButton* ok = Button(dlg, "OK");
        QPushButton* cancel = Button(dlg, "Cancel");
        QVERIFY(ok && cancel);
        QCOMPARE(dlg.findChildren<QAbstractButton*>().size(), 2);
        QVERIFY(ok->isDefault());
        // A field to type in above a list to pick from; OK first in the tab order.
        QCOMPARE(dlg.PortList()->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(NextTabStop(ok), static_cast<QWidget*>(cancel));
        QCOMPARE(NextTabStop(cancel), static_cast<QWidget*>(dlg.PortField()));
        QCOMPARE(NextTabStop(dlg.PortField()), static_cast<QWidget*>(dlg.PortList()));
    }

    void listSortedWithoutRegardToCase_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("COM1 COM2 COM10")
            << QStringList{"COM1", "COM2", "COM10"} << QStringList{"COM1", "COM10", "COM2"};
        QTest::newRow("mixed case") << QStringList{"ttyUSB0", "COM3", "com2", "TTYS0"}
                                    << QStringList{"com2", "COM3", "TTYS0", "ttyUSB0"};
        QTest::newRow("duplicates kept")
            << QStringList{"COM4", "COM3", "COM4"} << QStringList{"COM3", "COM4", "COM4"};
        QTest::newRow("no ports") << QStringList{} << QStringList{};
    }

    void listSortedWithoutRegardToCase()
    {
        QFETCH(QStringList, listed);
        QFETCH(QStringList, shown);
        guitest::FixedPorts ports(listed);
        OptionsDialog dlg(nullptr, &ports);
        dlg.show();
        QCOMPARE(Entries(dlg), shown);
    }

    void outcome_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("typed"); // into the field before the key; null: nothing

        const QStringList three{"COM1", "COM2", "COM10"};
        const int enter = Qt::Key_Return;
        const QString none;
        QTest::newRow("Enter keeps COM2") << three << "COM2"
                                          << "COM2" << enter << "COM2" << none;
        QTest::newRow("other case selects the listed name") << QStringList{"COM3", "COM1"} << "com3"
                                                            << "COM3" << enter << "COM3" << none;
        QTest::newRow("not listed: OK keeps it") << three << "COM7"
                                                 << "" << enter << "COM7" << none;
        QTest::newRow("prefix only is no match") << QStringList{"COM12"} << "COM1"
                                                 << "" << enter << "COM1" << none;
        QTest::newRow("no ports: OK keeps the port given for the run")
            << QStringList{} << "/dev/pts/7"
            << "" << enter << "/dev/pts/7" << none;
        QTest::newRow("emptied field: OK keeps the port") << three << "COM2"
                                                          << "" << enter << "COM2"
                                                          << "";
        QTest::newRow("typed device path") << three << "COM2"
                                           << "" << enter << "/dev/ttyUSB3"
                                           << " /dev/ttyUSB3 ";
        const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_A10K3ZQ4-if00-port0";
        QTest::newRow("typed stable name") << three << "COM1"
                                           << "" << enter << byId << byId;
        QTest::newRow("typed listed name picks it") << three << "COM1"
                                                    << "COM10" << enter << "com10"
                                                    << "com10";
        QTest::newRow("Esc keeps the name") << three << "COM7"
                                            << "" << int(Qt::Key_Escape) << "COM7" << none;
        QTest::newRow("Esc keeps the name as written")
            << QStringList{"COM3"} << "com3"
            << "COM3" << int(Qt::Key_Escape) << "com3" << none;
        QTest::newRow("Esc drops what was typed") << three << "COM1"
                                                  << "" << int(Qt::Key_Escape) << "COM1"
                                                  << "/dev/ttyACM0";
    }

    void outcome()
    {
        QFETCH(QStringList, listed);
        QFETCH(QString, current);
        QFETCH(QString, selected);
        QFETCH(int, key);
        QFETCH(QString, result);
        QFETCH(QString, typed);
        guitest::FixedPorts ports(listed);
        OptionsDialog dlg(nullptr, &ports);
        dlg.SetPort(PortName::Parse(current));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        if (!typed.isNull()) {
            dlg.PortField()->selectAll();
            QTest::keyClick(dlg.PortField(), Qt::Key_Backspace);
            QTest::keyClicks(dlg.PortField(), typed);
        }
        QCOMPARE(Selected(dlg), selected.isEmpty() ? QStringList() : QStringList{selected});
        QTest::keyClick(typed.isNull() ? static_cast<QWidget*>(&dlg) : dlg.PortField(),
                        Qt::Key(key));
        QVERIFY(!dlg.isVisible());
        // Esc: the caller keeps the port it set; OK: the port chosen.
        QCOMPARE(dlg.result(),
                 key == Qt::Key_Escape ? int(QDialog::Rejected) : int(QDialog::Accepted));
        QCOMPARE(dlg.result() == QDialog::Accepted ? dlg.Port().Given() : current, result);
    }

    void nameThatCannotBeAPortKeepsTheDialogOpen()
    {
        guitest::FixedPorts ports({"COM1"});
        OptionsDialog dlg(nullptr, &ports);
        dlg.SetPort(PortName::Parse(QStringLiteral("COM1")));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.PortField()->setText(QStringLiteral("tty\aUSB0"));
        QTest::keyClick(dlg.PortField(), Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        const QLabel* problem = dlg.findChild<QLabel*>(QStringLiteral("problem"));
        QVERIFY(!problem->isHidden() &&
                problem->text().contains("\"tty\\x07USB0\" holds a control"));
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void pickingAnotherPort()
    {
        guitest::FixedPorts ports({"COM1", "COM2", "COM10"});
        OptionsDialog dlg(nullptr, &ports);
        dlg.SetPort(PortName::Parse(QStringLiteral("COM1")));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QListWidget* list = dlg.PortList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(2)).center());
        QCOMPARE(Selected(dlg), QStringList{"COM2"});
        // Cancel drops the choice.
        Button(dlg, "Cancel")->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));

        OptionsDialog again(nullptr, &ports);
        again.SetPort(PortName::Parse(QStringLiteral("COM1")));
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QListWidget* list2 = again.PortList();
        QTest::mouseClick(list2->viewport(), Qt::LeftButton, {},
                          list2->visualItemRect(list2->item(1)).center());
        Button(again, "OK")->click();
        QCOMPARE(again.result(), int(QDialog::Accepted));
        QCOMPARE(again.Port().Given(), QStringLiteral("COM10"));
    }

    void optionCommandStoresThePortName()
    {
        QSettings().clear();
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        guitest::FixedPorts ports({"COM1", "COM2"});
        DesktopApp app(&sink, &ui, &ports);
        // Cancel changes neither the port in use nor the stored one, also when
        // the port in use was given for this run only.
        StorePort(PortName::Parse(QStringLiteral("COM1")));
        QVERIFY(app.Start(guitest::StartWith({}, QStringLiteral("/dev/pts/7"))));
        ui.onModal = [](QDialog& dlg) {
            dlg.show();
            QTest::keyClick(&dlg, Qt::Key_Escape);
            return dlg.result();
        };
        QVERIFY(guitest::Trigger(app.Window(), "option"));
        QCOMPARE(app.PortInUse().Given(), QStringLiteral("/dev/pts/7"));
        QCOMPARE(QSettings().value(QStringLiteral("Settings/COM")).toString(),
                 QStringLiteral("COM1"));

        // OK with another port picked.
        ui.onModal = [](QDialog& dlg) {
            dlg.show();
            auto& options = static_cast<OptionsDialog&>(dlg);
            options.PortList()->setCurrentRow(1);
            QTest::keyClick(&dlg, Qt::Key_Return);
            return dlg.result();
        };
        QVERIFY(guitest::Trigger(app.Window(), "option"));
        QCOMPARE(app.PortInUse().Given(), QStringLiteral("COM2"));
        QCOMPARE(QSettings().value(QStringLiteral("Settings/COM")).toString(),
                 QStringLiteral("COM2"));
        QCOMPARE(ui.modalClasses, (QStringList{"OptionsDialog", "OptionsDialog"}));
        QCOMPARE(sink.messages.size(), 0);
    }
};

QTEST_MAIN(TestAppOptions)
#include "test_app_options.moc"
