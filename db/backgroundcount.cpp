#include "db/backgroundcount.h"

#include "db/backend/connection.h"
#include "db/backend/dbexception.h"
#include "db/record/database.h"

#include <chrono>

namespace {

std::atomic<bool> g_hold{false};

} // namespace

BackgroundCount::BackgroundCount(const Location& file, const QString& join,
                                 const FilterWhere& where, int stride,
                                 std::function<void()> finished)
    : m_file(file), m_join(join), m_where(where), m_stride(stride), m_notify(std::move(finished))
{
    m_thread = std::thread([this] { Run(); });
    // Opening looks at the file through a descriptor of its own, and closing
    // that drops every lock this process holds on the file: the caller holds
    // none while it waits here.
    // A server holds no such locks: the list goes on while the count connects.
    if (m_file.IsServer())
        return;
    std::unique_lock lock(m_mutex);
    m_opened.wait(lock, [this] { return m_openDone; });
}

BackgroundCount::~BackgroundCount()
{
    Cancel();
    m_thread.join();
}

void BackgroundCount::Hold(bool hold)
{
    g_hold = hold;
}

void BackgroundCount::Cancel()
{
    std::lock_guard lock(m_mutex);
    m_cancel = true;
    if (m_stop)
        m_stop->Cancel();
}

void BackgroundCount::OpenDone()
{
    {
        std::lock_guard lock(m_mutex);
        m_openDone = true;
    }
    m_opened.notify_all();
}

JoinCount BackgroundCount::Take()
{
    std::lock_guard lock(m_mutex);
    return std::move(m_result);
}

void BackgroundCount::Run()
{
    JoinCount result;
    try {
        CDatabase db;
        try {
            if (m_file.IsServer())
                db.Open(m_file);
            else
                db.OpenFile(m_file);
        } catch (...) {
            OpenDone();
            throw;
        }
        {
            std::lock_guard lock(m_mutex);
            m_stop = db.GetConnection().MakeCancel();
            if (m_cancel)
                result.rows = -1;
        }
        OpenDone();
        try {
            if (result.rows < 0)
                throw CDBException(QStringLiteral("Cancelled"));
            db.BeginTrans();
            result.stamp = JoinStamp::Take(db);
            result.rows =
                WalkJoinMarks(db, m_join, -1, 0, m_stride, result.marks, &m_cancel, m_where);
            db.Rollback();
        } catch (...) {
            db.Rollback();
            std::lock_guard lock(m_mutex);
            m_stop.reset();
            throw;
        }
        std::lock_guard lock(m_mutex);
        m_stop.reset();
    } catch (const CDBException& e) {
        result = JoinCount();
        result.error = e.m_strError;
    }
    while (g_hold && !m_cancel)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (m_cancel || result.rows < 0)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_result = std::move(result);
    }
    m_finished = true;
    if (m_notify)
        m_notify();
}
