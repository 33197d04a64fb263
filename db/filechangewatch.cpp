#include "db/filechangewatch.h"

#include "db/backend/dbexception.h"
#include "db/backend/sqliteconnection.h"
#include "db/location/nativename.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>

namespace {

// A commit of another process sends several notifications (journal made,
// file written, journal deleted) within a few milliseconds.
constexpr int kSettleMs = 20;
// The writer still holds its lock: asked again shortly.
constexpr int kBusyRetryMs = 100;

} // namespace

FileChangeWatch::FileChangeWatch(QObject* parent) : QObject(parent)
{
    m_interval.setTimerType(Qt::CoarseTimer);
    m_interval.setInterval(kCheckIntervalMs);
    connect(&m_interval, &QTimer::timeout, this, &FileChangeWatch::Check);
    m_soon.setSingleShot(true);
    connect(&m_soon, &QTimer::timeout, this, &FileChangeWatch::Check);
}

FileChangeWatch::~FileChangeWatch()
{
    Stop();
}

bool FileChangeWatch::Watch(const QByteArray& nativeName)
{
    Stop();
    try {
        // Never waits for another connection's lock: a busy file is asked again.
        m_connection = SqliteConnection::Open(SqliteNativeUri(nativeName).toUtf8(), true, 0);
        m_statement = m_connection->Prepare(QStringLiteral("PRAGMA data_version"));
    } catch (const CDBException&) {
        Stop();
        return false;
    }
    m_file = nativeName;
    m_files = new QFileSystemWatcher(this);
    connect(m_files, &QFileSystemWatcher::fileChanged, this, [this] {
        FollowFiles(); // a file replaced or deleted is no longer watched
        CheckSoon(kSettleMs);
    });
    // A journal or log made or deleted shows as a change of the folder.
    connect(m_files, &QFileSystemWatcher::directoryChanged, this, [this] {
        FollowFiles();
        CheckSoon(kSettleMs);
    });
    FollowFiles();
    Check(); // the version from which changes count
    m_interval.start();
    return true;
}

void FileChangeWatch::Stop()
{
    m_interval.stop();
    m_soon.stop();
    delete m_files;
    m_files = nullptr;
    m_statement.reset();
    m_connection.reset();
    m_version = -1;
    m_file.clear();
}

void FileChangeWatch::FollowFiles()
{
    if (!m_files)
        return;
    const QString file = QFile::decodeName(m_file);
    QStringList wanted{QFileInfo(file).absolutePath()};
    for (const char* suffix : {"", "-journal", "-wal"}) {
        const QString path = file + QLatin1String(suffix);
        if (QFileInfo::exists(path))
            wanted << path;
    }
    const QStringList watched = m_files->files() + m_files->directories();
    for (const QString& path : wanted) {
        if (!watched.contains(path))
            m_files->addPath(path);
    }
}

void FileChangeWatch::CheckSoon(int delayMs)
{
    if (!m_soon.isActive())
        m_soon.start(delayMs);
}

void FileChangeWatch::Check()
{
    if (!m_statement)
        return;
    qint64 version = -1;
    try {
        m_statement->Exec(QVariantList());
        if (!m_statement->Next())
            return;
        version = m_statement->Int64(0);
        m_statement->Finish();
    } catch (const CDBException& e) {
        if (e.Kind() == DbFailure::Locked)
            CheckSoon(kBusyRetryMs);
        // Anything else (a file that no longer reads as a database, say) is
        // for the list to tell; asked again at the next interval.
        return;
    }
    const bool changed = m_version >= 0 && version != m_version;
    m_version = version;
    if (changed)
        Q_EMIT Changed();
}
