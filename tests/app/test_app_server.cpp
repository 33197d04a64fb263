// Opening a server database that has no tables yet offers to create them.

#include "app/zq6.h"
#include "db/backend/serverdb.h"
#include "db/location/location.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "tests/support/guitest.h"
#include "tests/support/pgserver.h"

#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

class TestAppServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        QVERIFY2(testpg::Server::Instance().IsRunning(),
                 qPrintable(testpg::Server::Instance().Error()));
    }

    void offersToCreateTheTables_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("withTables");
        QTest::addColumn<QString>("message");
        QTest::newRow("yes") << int(QMessageBox::Yes) << false
                             << "A new database has been created:  ";
        QTest::newRow("no") << int(QMessageBox::No) << false << "has no table EVENTS";
        QTest::newRow("tables there") << int(QMessageBox::Yes) << true << "";
    }

    void offersToCreateTheTables()
    {
        QFETCH(int, answer);
        QFETCH(bool, withTables);
        QFETCH(QString, message);
        testpg::Server& pg = testpg::Server::Instance();
        const QString name = pg.CreateDatabase();
        if (withTables)
            CreateServerTables(Location::Parse(pg.Uri(name)));
        guitest::RecordingSink sink;
        guitest::ScriptedUi ui;
        ui.onModal = [answer](QDialog&) { return answer; };
        guitest::FixedPorts ports;
        CZq6App app(&sink, &ui, &ports);
        QVERIFY(app.InitInstance({}));

        const bool opened = app.OpenDocumentFile(pg.Uri(name));
        QCOMPARE(ui.modalClasses,
                 withTables ? QStringList() : QStringList{QStringLiteral("QMessageBox")});
        QCOMPARE(opened, answer == QMessageBox::Yes);
        QCOMPARE(pg.Scalar(name, Dialect(Dialect::Backend::Postgres).CountTablesSql()).toInt(),
                 opened ? 2 : 0);
        if (message.isEmpty())
            QVERIFY(sink.messages.isEmpty());
        else
            QVERIFY2(sink.Texts().join('\n').contains(message) ||
                         (!sink.messages.isEmpty() &&
                          sink.messages.last().message.detail.contains(message)),
                     qPrintable(sink.Texts().join('\n')));
        if (opened)
            QCOMPARE(g_strDbPath, pg.Uri(name));
    }
};

QTEST_MAIN(TestAppServer)
#include "test_app_server.moc"
