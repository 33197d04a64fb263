// Opening an Access database in the desktop program offers to convert it;
// the mdbtools programs are stand-ins (tests/support/fakemdbtools.h).

#include "../support/fakemdbtools.h"
#include "app/desktopapp.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "tests/support/guitest.h"

#include <QDir>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestAppAccess : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    guitest::RecordingSink m_sink;
    guitest::ScriptedUi m_ui;
    guitest::FixedPorts m_ports;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QVERIFY(testdb::copyTemplate(m_dir.filePath("template.db")));
        const QString tools = m_dir.filePath("tools");
        QVERIFY(QDir().mkpath(tools));
        qputenv("PATH", (tools + ":" + qgetenv("PATH")).toUtf8());
        QVERIFY(fakemdb::writeAccessFile(m_dir.filePath("old.mdb")));
    }

    void offersToConvert_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("saveAs");
        QTest::addColumn<QByteArray>("tables");
        QTest::addColumn<QString>("message");
        QTest::newRow("no") << int(QMessageBox::No) << "" << QByteArray("USERS\\nEVENTS\\n") << "";
        QTest::newRow("no file chosen")
            << int(QMessageBox::Yes) << "" << QByteArray("USERS\\nEVENTS\\n") << "";
        QTest::newRow("yes") << int(QMessageBox::Yes) << "new.db" << QByteArray("USERS\\nEVENTS\\n")
                             << "A new database has been created:  ";
        QTest::newRow("no EVENTS table")
            << int(QMessageBox::Yes) << "new.db" << QByteArray("USERS\\n")
            << "Error while converting the Access database";
    }

    void offersToConvert()
    {
        QFETCH(int, answer);
        QFETCH(QString, saveAs);
        QFETCH(QByteArray, tables);
        QFETCH(QString, message);
        QVERIFY(fakemdb::writeTools(m_dir.filePath("tools"), "",
                                    "3,7,\"2024-01-02 03:04:05\",1,\"0\"\\n", tables));
        const QString previous = m_dir.filePath("previous.db");
        QVERIFY(testdb::copyTemplate(previous));
        const QString target = m_dir.filePath("new.db");
        QFile::remove(target);
        QSettings().clear();
        m_sink.messages.clear();
        m_ui = guitest::ScriptedUi();
        if (!saveAs.isEmpty())
            m_ui.savePaths << m_dir.filePath(saveAs);
        m_ui.onModal = [answer](QDialog&) { return answer; };

        DesktopApp app(&m_sink, &m_ui, &m_ports);
        QVERIFY(app.Start({}));
        QVERIFY(app.OpenDocumentFile(previous));
        m_sink.messages.clear();
        const bool converted = message.startsWith("A new");
        QCOMPARE(app.OpenDocumentFile(m_dir.filePath("old.mdb")), converted || message.isEmpty());

        QCOMPARE(m_ui.modalClasses, QStringList{"QMessageBox"});
        QCOMPARE(m_ui.saveDialogs, answer == QMessageBox::Yes ? 1 : 0);
        QCOMPARE(m_sink.Texts(), message.isEmpty()
                                     ? QStringList()
                                     : QStringList{message + (converted ? target : QString())});
        QCOMPARE(g_strDbPath, converted ? target : previous);
        QCOMPARE(QFile::exists(target), converted);
        if (converted)
            QCOMPARE(testdb::scalar(target, "SELECT \"INDEX\" FROM EVENTS").toInt(), 3);
    }
};

QTEST_MAIN(TestAppAccess)
#include "test_app_access.moc"
