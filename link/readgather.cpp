#include "link/readgather.h"

#include <utility>

ReadGather::ReadGather(Source source, Clock nowNanoseconds)
    : m_source(std::move(source)), m_now(std::move(nowNanoseconds))
{
}

void ReadGather::Start(quint8* buffer, int size)
{
    m_buffer = buffer;
    m_size = size;
    m_count = 0;
    m_active = true;
}

void ReadGather::Cancel()
{
    m_active = false;
    m_buffer = nullptr;
}

int ReadGather::Take()
{
    if (!m_active || m_count >= m_size)
        return 0;
    const qint64 got = m_source(m_buffer + m_count, m_size - m_count);
    if (got <= 0)
        return 0;
    m_lastTakeNs = m_now();
    if (m_count == 0)
        m_firstTakeNs = m_lastTakeNs;
    m_count += static_cast<int>(got);
    m_total += got;
    return static_cast<int>(got);
}

bool ReadGather::PausedSinceLastTake() const
{
    return m_count > 0 && m_intervalMs > 0 &&
           m_now() - m_lastTakeNs > qint64(m_intervalMs) * 1'000'000;
}

bool ReadGather::PastBound() const
{
    return m_count > 0 && m_boundMs > 0 && m_now() - m_firstTakeNs > qint64(m_boundMs) * 1'000'000;
}

bool ReadGather::Poll()
{
    if (!m_active)
        return false;
    Take();
    // The thread may have been held up anywhere since that take, so the
    // clock alone proves nothing: the line has paused only if the source
    // still has nothing once the time is up, and the bytes came too late
    // only if they are still missing when taken after the bound.
    if (m_count < m_size) {
        const bool late = PastBound();
        if ((late || PausedSinceLastTake()) && (Take() == 0 || late) && m_count < m_size) {
            m_active = false;
            return true;
        }
    }
    if (m_count == m_size) {
        m_active = false;
        return true;
    }
    return false;
}
