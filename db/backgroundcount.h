#pragma once

#include "db/joinmarks.h"
#include "db/joinstamp.h"
#include "db/location/location.h"

#include <QString>
#include <QVector>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class StatementCancel;

// What a count of the joined rows found.
struct JoinCount
{
    QVector<JoinMark> marks;
    qint64 rows = 0;
    JoinStamp stamp; // taken in the same read transaction as the walk
    QString error;   // empty when it worked
};

// Counts the joined rows of a database file or a server database on a thread
// of its own, through a connection of its own (connections belong to the thread that opened them),
// keeping a mark every stride rows. finished is called on that thread once
// the count is there, unless it was cancelled.
class BackgroundCount
{
public:
    // Only the rows where passes are counted.
    BackgroundCount(const Location& file, const QString& join, const FilterWhere& where, int stride,
                    std::function<void()> finished);
    // Cancels and waits for the thread.
    ~BackgroundCount();
    BackgroundCount(const BackgroundCount&) = delete;
    BackgroundCount& operator=(const BackgroundCount&) = delete;

    bool IsFinished() const { return m_finished.load(); }
    // The count, once finished.
    JoinCount Take();

    // For tests: while held, a count keeps its result back after the walk.
    static void Hold(bool hold);

private:
    void Run();
    void OpenDone();
    void Cancel();

    const Location m_file;
    const QString m_join;
    const FilterWhere m_where;
    const int m_stride;
    const std::function<void()> m_notify;

    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_finished{false};
    std::mutex m_mutex; // guards m_stop, m_openDone and m_result
    std::condition_variable m_opened;
    bool m_openDone = false;
    std::unique_ptr<StatementCancel> m_stop; // while the count's connection is open
    JoinCount m_result;
    std::thread m_thread;
};
