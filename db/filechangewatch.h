#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <memory>

class QFileSystemWatcher;
class SqliteConnection;
class Statement;

// Tells when another connection has committed anything to a SQLite file,
// whoever wrote it (another desktop, zqreader-cli read, the sqlite3 tool).
//
// A read-only connection of its own asks "PRAGMA data_version", which moves
// on with every commit of any other connection. It asks when the file, its
// rollback journal or its write-ahead log change, and once a second besides,
// since file notifications are missed on some file systems (network mounts).
// Each question costs a few microseconds; nothing else runs while nothing
// changes.
class FileChangeWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr int kCheckIntervalMs = 1000;

    explicit FileChangeWatch(QObject* parent = nullptr);
    ~FileChangeWatch() override;

    // Watches the file of these native bytes from now on, instead of any
    // earlier one. False when it cannot be read; nothing is watched then.
    bool Watch(const QByteArray& nativeName);
    void Stop();
    bool IsWatching() const { return m_statement != nullptr; }

    // Asks at once; Changed() is emitted when the file was committed to since
    // the last question.
    void Check();

Q_SIGNALS:
    void Changed();

private:
    // Several file notifications of one commit are answered by one question.
    void CheckSoon(int delayMs);
    void FollowFiles();

    QByteArray m_file;
    std::unique_ptr<SqliteConnection> m_connection;
    std::unique_ptr<Statement> m_statement;
    qint64 m_version = -1;
    QTimer m_interval;
    QTimer m_soon;
    QFileSystemWatcher* m_files = nullptr;
};
