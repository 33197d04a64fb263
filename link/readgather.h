#pragma once

#include <QtGlobal>
#include <functional>

// One read of the serial link: bytes gathered from a source that never
// blocks, until the bytes asked for are there, the line has paused for the
// read interval after the first byte, or the bound has passed since the first
// byte. Time comes from a monotonic clock in nanoseconds. Both are given by
// the owner, so the decision can be driven with exact bytes and times.
class ReadGather
{
public:
    // Copies up to `most` bytes that have arrived into `into`; returns how
    // many, 0 when none are there.
    using Source = std::function<qint64(quint8* into, qint64 most)>;
    using Clock = std::function<qint64()>;

    ReadGather(Source source, Clock nowNanoseconds);

    void SetInterval(int milliseconds) { m_intervalMs = milliseconds; }
    // 0: no bound.
    void SetBound(int milliseconds) { m_boundMs = milliseconds; }

    void Start(quint8* buffer, int size);
    void Cancel();
    bool Active() const { return m_active; }

    // Takes what has arrived; true once the read has ended, the count in
    // Count().
    bool Poll();
    int Count() const { return m_count; }

    // Bytes taken by all reads so far.
    qint64 Total() const { return m_total; }

private:
    int Take();
    bool PausedSinceLastTake() const;
    bool PastBound() const;

    Source m_source;
    Clock m_now;
    int m_intervalMs = 0;
    int m_boundMs = 0;

    quint8* m_buffer = nullptr;
    int m_size = 0;
    int m_count = 0;
    bool m_active = false;
    qint64 m_firstTakeNs = 0;
    qint64 m_lastTakeNs = 0;
    qint64 m_total = 0;
};
