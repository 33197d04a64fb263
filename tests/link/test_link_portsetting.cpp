// The port name setting, in a settings folder of the test's own.

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
};

QTEST_GUILESS_MAIN(TestLinkPortSetting)
#include "test_link_portsetting.moc"
