// The system calls behind platform/, on real files, links, pipes and devices
// of a temporary folder: the cases the callers' own tests do not reach.

#include "platform/file.h"
#include "platform/filenames.h"
#include "platform/filestatus.h"
#include "platform/process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using platform::FileType;

class TestPlatform : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QByteArray name(const char* file) const { return QFile::encodeName(m_dir.filePath(file)); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QFile file(m_dir.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("bytes");
        file.close();
        QVERIFY(QFile::link(QStringLiteral("file"), m_dir.filePath(QStringLiteral("link"))));
        QVERIFY(QFile::link(QStringLiteral("none"), m_dir.filePath(QStringLiteral("dangling"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), m_dir.filePath(QStringLiteral("null"))));
        QVERIFY(!platform::AddHardLink(name("file"), name("hard")));
        QVERIFY(::mkfifo(name("fifo").constData(), 0600) == 0);
    }

    // What a name stands for, its links followed or not.
    void status_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("followed"); // a FileType, or -1: missing
        QTest::addColumn<int>("itself");
        const auto type = [](FileType t) { return int(t); };
        const QByteArray dir = QFile::encodeName(m_dir.path());
        QTest::newRow("file") << dir + "/file" << type(FileType::Regular)
                              << type(FileType::Regular);
        QTest::newRow("folder") << dir << type(FileType::Folder) << type(FileType::Folder);
        QTest::newRow("fifo") << dir + "/fifo" << type(FileType::NamedPipe)
                              << type(FileType::NamedPipe);
        QTest::newRow("device") << QByteArray("/dev/null") << type(FileType::CharacterDevice)
                                << type(FileType::CharacterDevice);
        QTest::newRow("link") << dir + "/link" << type(FileType::Regular)
                              << type(FileType::SymbolicLink);
        QTest::newRow("dangling") << dir + "/dangling" << -1 << type(FileType::SymbolicLink);
        QTest::newRow("missing") << dir + "/none" << -1 << -1;
        QTest::newRow("under a file") << dir + "/file/x" << -1 << -1;
    }
    void status()
    {
        QFETCH(QByteArray, path);
        QFETCH(int, followed);
        QFETCH(int, itself);
        const platform::FileStatus status = platform::StatusOf(path);
        const platform::FileStatus link = platform::LinkStatusOf(path);
        QCOMPARE(status.Exists() ? int(status.type) : -1, followed);
        QCOMPARE(link.Exists() ? int(link.type) : -1, itself);
        QCOMPARE(status.error.IsMissing(), followed < 0);
        QCOMPARE(platform::ResolvedPath(path).isEmpty(), followed < 0);
    }

    // Which names are one file, and which one is the null device.
    void identity_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::addColumn<bool>("null"); // a is the null device
        QTest::newRow("hard link") << "file"
                                   << "hard" << true << false;
        QTest::newRow("symbolic link") << "link"
                                       << "file" << true << false;
        QTest::newRow("other file") << "file"
                                    << "fifo" << false << false;
        QTest::newRow("missing") << "none"
                                 << "none" << false << false;
        QTest::newRow("null device") << "null"
                                     << "/dev/null" << true << true;
        QTest::newRow("zero device") << "/dev/zero"
                                     << "/dev/null" << false << false;
    }
    void identity()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QFETCH(bool, null);
        const QByteArray first = QFile::encodeName(QDir(m_dir.path()).filePath(a));
        const QByteArray second = QFile::encodeName(QDir(m_dir.path()).filePath(b));
        QCOMPARE(platform::StatusOf(first).IsSameFile(platform::StatusOf(second)), same);
        QCOMPARE(platform::IsNullDevice(first), null);
    }

    // A new file is never one already there, not even through a link, and the
    // lock keeps out a second handle of the same file until it is given up.
    void createAndLock()
    {
        platform::File file;
        QVERIFY(!file.CreateNew(name("file")));
        QVERIFY(file.Error().Is(std::errc::file_exists));
        QVERIFY(!file.CreateNew(name("dangling")));
        QVERIFY(file.Error().Is(std::errc::file_exists));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("none"))));
        QVERIFY(platform::AddHardLink(name("file"), name("link")).Is(std::errc::file_exists));

        QVERIFY(file.CreateNew(name("new")));
        QVERIFY(file.WriteAll("written") && file.Sync() && file.Close());
        QVERIFY(!platform::MoveOver(name("new"), name("hard")));
        QCOMPARE(platform::LinkTarget(name("link")), QByteArray("file"));
        QVERIFY(platform::LinkTarget(name("hard")).isEmpty());

        platform::File first;
        platform::File second;
        QVERIFY(first.OpenToRead(name("hard")) && second.OpenToRead(name("hard")));
        QCOMPARE(first.TryLock(), platform::File::Lock::Taken);
        QCOMPARE(second.TryLock(), platform::File::Lock::Busy);
        first.Unlock();
        QCOMPARE(second.TryLock(), platform::File::Lock::Taken);
        char bytes[16];
        QCOMPARE(second.Read(bytes, sizeof bytes), qint64(7));
        QCOMPARE(QByteArray(bytes, 7), QByteArray("written"));
    }

    // The arguments by their exact bytes, the program's own name first.
    void programArguments()
    {
        const QList<QByteArray> arguments = platform::ProgramArguments();
        QCOMPARE(arguments.size(), QCoreApplication::arguments().size());
        QCOMPARE(QFileInfo(QFile::decodeName(arguments.first())).fileName(),
                 QStringLiteral("test_platform"));
        QCOMPARE(
            platform::ResolvedPath(platform::ProgramFile()),
            platform::ResolvedPath(QFile::encodeName(QCoreApplication::applicationFilePath())));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
