#pragma once

// A scripted link with a line in it: a receiver that answers each request
// byte reaching it while it is not sending with its next reply, whose bytes
// arrive one at a time on a microsecond clock, and reads decided by the
// link's own gathering rules. Time moves only with the download's polls,
// writes and pauses, so every byte's moment is exact.

#include "link/readgather.h"
#include "tests/support/scriptedlink.h"

#include <QVector>
#include <cstring>

namespace scripted {

class LineLink : public ScriptedLink
{
public:
    static constexpr qint64 kByteUs = 1042; // 10 bits at 9600 baud
    static constexpr qint64 kPollUs = 1000; // the time one poll of the read takes

    struct Reply
    {
        QByteArray bytes;
        qint64 byteUs = kByteUs; // from one byte to the next
        int pauseAfter = -1;     // the line pauses after this many bytes
        int pauseMs = 0;
        int delayMs = 0; // from the request to the first byte
    };

    explicit LineLink(ManualClock& clock)
        : ScriptedLink(clock), m_seconds(clock), m_start(clock.now),
          m_read([this](quint8* into, qint64 most) { return Take(into, most); },
                 [this] { return m_us * 1000; })
    {
        clock.onSleep = [this](int milliseconds) { Advance(qint64(milliseconds) * 1000); };
    }

    // The receiver's replies, in the order it sends them; then frames of end
    // words, as from a receiver whose log is all sent.
    QList<Reply> replies;
    int requestsAnswered = 0;
    bool askedAfterBegun = false; // a request sent while a frame was coming in

    void SetReadIntervalTimeout(int milliseconds) override
    {
        ScriptedLink::SetReadIntervalTimeout(milliseconds);
        m_read.SetInterval(milliseconds);
    }
    void SetReadFrameBound(int milliseconds) override
    {
        ScriptedLink::SetReadFrameBound(milliseconds);
        m_read.SetBound(milliseconds);
    }
    int DiscardArrived() override
    {
        log.append(QStringLiteral("DiscardArrived"));
        quint8 sink = 0;
        int dropped = 0;
        while (Take(&sink, 1) == 1)
            ++dropped;
        return dropped;
    }

    int Arrived() override
    {
        int n = 0;
        while (m_next + n < m_line.size() && m_line.at(m_next + n).first <= m_us)
            ++n;
        return n;
    }

    Result StartRead(quint8* buffer, int size, int* bytesRead) override
    {
        ++readsStarted;
        m_read.Start(buffer, size);
        return Ended(bytesRead);
    }
    Result PollRead(int* bytesRead) override
    {
        Advance(kPollUs);
        return Ended(bytesRead);
    }
    Result StartWrite(const quint8* data, int size) override
    {
        requestOverlap = requestOverlap || m_inFlight;
        askedAfterBegun = askedAfterBegun || (m_read.Active() && m_read.Count() > 0);
        ++writesStarted;
        lastRequest = QByteArray(reinterpret_cast<const char*>(data), size);
        m_inFlight = true;
        return Result::Pending;
    }
    Result WaitWrite() override
    {
        ++writesWaited;
        Advance(kByteUs);
        m_inFlight = false;
        Request();
        return Result::Completed;
    }

private:
    Result Ended(int* bytesRead)
    {
        const bool ended = m_read.Poll();
        *bytesRead = m_read.Count();
        return ended ? Result::Completed : Result::Pending;
    }

    void Advance(qint64 us)
    {
        m_us += us;
        m_seconds.now = m_start + m_us / 1'000'000;
    }

    // A request reaches the receiver; one that comes while it sends is dropped.
    void Request()
    {
        if (m_us < m_busyUntilUs)
            return;
        ++requestsAnswered;
        const Reply reply = replies.isEmpty() ? Reply{QByteArray(68, '\0')} : replies.takeFirst();
        qint64 at = m_us + qint64(reply.delayMs) * 1000;
        for (int i = 0; i < reply.bytes.size(); ++i) {
            if (i == reply.pauseAfter)
                at += qint64(reply.pauseMs) * 1000;
            at += reply.byteUs;
            m_line.append({at, reply.bytes.at(i)});
        }
        m_busyUntilUs = at;
    }

    // The bytes that have arrived by now.
    qint64 Take(quint8* into, qint64 most)
    {
        qint64 n = 0;
        while (n < most && m_next < m_line.size() && m_line.at(m_next).first <= m_us)
            into[n++] = quint8(m_line.at(m_next++).second);
        return n;
    }

    ManualClock& m_seconds;
    const qint64 m_start;
    qint64 m_us = 0;
    qint64 m_busyUntilUs = 0;
    QVector<QPair<qint64, char>> m_line; // each byte with the moment it arrives
    qsizetype m_next = 0;
    bool m_inFlight = false;
    ReadGather m_read;
};

} // namespace scripted
