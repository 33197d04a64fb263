#include "db/filechangewatch.h"

#include "db/location/nativename.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <sqlite3.h>

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
    const QByteArray uri = SqliteNativeUri(nativeName).toUtf8();
    // Never waits for another connection's lock: a busy file is asked again.
    if (sqlite3_open_v2(uri.constData(), &m_handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                        nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(m_handle, "PRAGMA data_version", -1, &m_statement, nullptr) !=
            SQLITE_OK) {
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
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
    sqlite3_close(m_handle);
    m_handle = nullptr;
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
    const int rc = sqlite3_step(m_statement);
    const qint64 version = rc == SQLITE_ROW ? sqlite3_column_int64(m_statement, 0) : -1;
    sqlite3_reset(m_statement);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        CheckSoon(kBusyRetryMs);
        return;
    }
    // Anything else (a file that no longer reads as a database, say) is
    // for the list to tell; asked again at the next interval.
    if (rc != SQLITE_ROW)
        return;
    const bool changed = m_version >= 0 && version != m_version;
    m_version = version;
    if (changed)
        Q_EMIT Changed();
}
