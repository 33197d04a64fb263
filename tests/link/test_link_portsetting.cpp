// The port name setting, in a settings folder of the test's own.

#include "db/location/nativename.h"
#include "link/portsetting.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestLinkPortSetting : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString settingsFile() const { return m_dir.filePath(QStringLiteral("Korvo/Zq6.conf")); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    }

    void init() { QFile::remove(settingsFile()); }

    void firstRunGivesTheFirstSerialPortAndWritesNothing()
    {
        g_strPortName = QStringLiteral("left over");
        LoadPortName();
#ifdef Q_OS_WIN
        QCOMPARE(g_strPortName, QStringLiteral("COM1"));
#else
        QCOMPARE(g_strPortName, QStringLiteral("ttyS0"));
#endif
        QVERIFY(!QFile::exists(settingsFile()));
    }

    void storedNameComesBack()
    {
        g_strPortName = QStringLiteral("/dev/pts/12");
        StorePortName();
        g_strPortName.clear();
        LoadPortName();
        QCOMPARE(g_strPortName, QStringLiteral("/dev/pts/12"));

        // Where other programs of the maker look for it.
        QSettings settings(QStringLiteral("Korvo"), QStringLiteral("Zq6"));
        QCOMPARE(settings.value(QStringLiteral("Settings/COM")).toString(),
                 QStringLiteral("/dev/pts/12"));
    }

    void entryWrittenByHandIsUsedUnchanged()
    {
        {
            QSettings settings(QStringLiteral("Korvo"), QStringLiteral("Zq6"));
            settings.setValue(QStringLiteral("Settings/COM"), QStringLiteral("ttyUSB7"));
        }
        LoadPortName();
        QCOMPARE(g_strPortName, QStringLiteral("ttyUSB7"));
    }

    void emptyEntryStaysEmpty()
    {
        g_strPortName.clear();
        StorePortName();
        g_strPortName = QStringLiteral("ttyS0");
        LoadPortName();
        QVERIFY(g_strPortName.isEmpty());
    }

    // The stored name comes back as the value the link opens: the device as
    // the system's bytes, also where they are not UTF-8, and the name shown.
    void storedNameIsThePortTheLinkOpens_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("none");
        QTest::addColumn<QByteArray>("devicePath");
        QTest::addColumn<QString>("shown");
        QTest::newRow("listed") << QByteArray("ttyUSB0") << false << QByteArray("/dev/ttyUSB0")
                                << QStringLiteral("ttyUSB0");
        QTest::newRow("pts") << QByteArray("pts/3") << false << QByteArray("/dev/pts/3")
                             << QStringLiteral("pts/3");
        QTest::newRow("path") << QByteArray("/dev/serial/by-id/usb-A1") << false
                              << QByteArray("/dev/serial/by-id/usb-A1")
                              << QStringLiteral("/dev/serial/by-id/usb-A1");
        QTest::newRow("relative") << QByteArray("./ttyV0") << false << QByteArray("./ttyV0")
                                  << QStringLiteral("./ttyV0");
        QTest::newRow("not UTF-8")
            << QByteArray("/dev/by-name/caf\xe9") << false << QByteArray("/dev/by-name/caf\xe9")
            << QStringLiteral("/dev/by-name/caf\uFFFD");
        QTest::newRow("none") << QByteArray() << true << QByteArray() << QStringLiteral("no port");
    }
    void storedNameIsThePortTheLinkOpens()
    {
        QFETCH(QByteArray, stored);
        g_strPortName = DecodeFileName(stored);
        StorePortName();
        g_strPortName = QStringLiteral("ttyS0");
        LoadPortName();
        const PortName port = CurrentPort();
        QFETCH(bool, none);
        QCOMPARE(port.IsNone(), none);
        QCOMPARE(port.Given(), DecodeFileName(stored));
        QTEST(port.DevicePath(), "devicePath");
        QTEST(port.Shown(), "shown");
    }
};

QTEST_GUILESS_MAIN(TestLinkPortSetting)
#include "test_link_portsetting.moc"
