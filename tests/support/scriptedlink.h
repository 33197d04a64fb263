#pragma once

// A serial link that plays a scripted receiver, and a clock the test turns by
// hand, for driving the download step by step.

#include "download/services.h"
#include "link/seriallink.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QVector>
#include <algorithm>
#include <cstring>
#include <functional>

namespace scripted {

// An event word: counter in bits 0-21, button bit 22, user field 0-511 in
// bit 23 and bits 24-31.
inline quint32 word(quint32 counter, quint32 userField, bool button)
{
    return (counter & 0x3FFFFF) | (button ? 0x400000u : 0u) | ((userField & 0x100u) << 15) |
           ((userField & 0xFFu) << 24);
}

// A 68-byte frame: status byte, 24-bit counter, then up to 16 event words;
// the words not given are 0, the end of the log.
inline QByteArray frame(quint8 status, quint32 counter, const QVector<quint32>& words)
{
    QByteArray bytes(68, '\0');
    auto put = [&bytes](int index, quint32 value) {
        for (int b = 0; b < 4; ++b)
            bytes[4 * index + b] = char((value >> (8 * b)) & 0xFF);
    };
    put(0, (counter << 8) | status);
    for (int i = 0; i < words.size() && i < 16; ++i)
        put(1 + i, words.at(i));
    return bytes;
}

class ManualClock : public Clock
{
public:
    explicit ManualClock(qint64 start, QStringList* log = nullptr) : now(start), log(log) {}
    qint64 Now() override { return now; }
    void Sleep(int milliseconds) override
    {
        sleeps.append(milliseconds);
        if (log)
            log->append(QStringLiteral("Sleep %1").arg(milliseconds));
        if (onSleep)
            onSleep(milliseconds);
    }

    qint64 now;
    QStringList* log;
    QList<int> sleeps;
    std::function<void(int)> onSleep;
};

class ScriptedLink : public SerialLink
{
public:
    struct Frame
    {
        QByteArray bytes;
        int polls = 1;         // polls (with a request sent) before it completes
        bool atOnce = false;   // completes in the call that starts the read
        int secondsBefore = 0; // the clock moves on this much before it arrives
    };

    explicit ScriptedLink(ManualClock& clock) : m_clock(clock) {}

    // The receiver's answers, in order.
    QList<Frame> frames;
    // Seconds the clock moves on at each poll once no frame is left.
    int idleSecondsPerPoll = 1;

    // Faults.
    bool signalsFail = false;
    bool openFails = false;
    PortOpenFailure openFailure{PortOpenFailure::Reason::NoSuchDevice,
                                QStringLiteral("There is no serial port ttyQ9.")};
    int failStartReadNo = -1; // the read (0 = the first) whose start fails
    bool failStartWrite = false;
    bool writesCompleteAtOnce = false;
    Result waitWriteResult = Result::Completed;
    bool pollTimesOut = false;
    // The port is gone (a network connection closed) in the middle of a
    // frame: every poll fails, while the clock runs on.
    bool pollFails = false;
    // Bytes from before the purge still on their way (the rest of a frame for
    // a host that has gone, say): one piece arrives during each wait of the
    // download; a read gets those not dropped ahead of its frame.
    QList<QByteArray> late;
    bool chatters = false; // bytes arrive at every wait, however long

    // What happened.
    QStringList log;
    int readsStarted = 0;
    int writesStarted = 0;
    int writesWaited = 0;
    bool requestOverlap = false; // a byte started while another was in flight
    bool readOverlap = false;
    bool signalsOpen = false;
    bool portOpen = false;
    QString openedName;

    bool MakeSignals() override
    {
        log.append(QStringLiteral("MakeSignals"));
        signalsOpen = !signalsFail;
        return !signalsFail;
    }
    void CloseSignals() override
    {
        log.append(QStringLiteral("CloseSignals"));
        signalsOpen = false;
    }
    bool Open(const PortName& portName) override
    {
        log.append(QStringLiteral("Open"));
        openedName = portName.Given();
        portOpen = !openFails;
        return !openFails;
    }
    PortOpenFailure OpenFailure() const override
    {
        return openFails ? openFailure : PortOpenFailure{};
    }
    void Close() override
    {
        log.append(QStringLiteral("Close"));
        portOpen = false;
        m_reading = false;
    }
    void SetLineFormat() override { log.append(QStringLiteral("SetLineFormat")); }
    void RaiseRts() override { log.append(QStringLiteral("RaiseRts")); }
    void RaiseDtr() override { log.append(QStringLiteral("RaiseDtr")); }
    void ClearErrors() override { log.append(QStringLiteral("ClearErrors")); }
    void CancelIo() override { log.append(QStringLiteral("CancelIo")); }
    void PurgeInput() override { log.append(QStringLiteral("PurgeInput")); }
    void PurgeOutput() override { log.append(QStringLiteral("PurgeOutput")); }
    void SetReadIntervalTimeout(int milliseconds) override
    {
        log.append(QStringLiteral("SetReadIntervalTimeout %1").arg(milliseconds));
    }
    void SetReadFrameBound(int milliseconds) override
    {
        log.append(QStringLiteral("SetReadFrameBound %1").arg(milliseconds));
    }
    int DiscardArrived() override
    {
        log.append(QStringLiteral("DiscardArrived"));
        return chatters ? 5 : late.isEmpty() ? 0 : int(late.takeFirst().size());
    }

    int Arrived() override { return int(m_onLine.size()); }

    Result StartRead(quint8* buffer, int size, int* bytesRead) override
    {
        if (m_reading)
            readOverlap = true;
        const int number = readsStarted++;
        if (number == failStartReadNo)
            return Result::Failed;
        m_buffer = buffer;
        m_size = size;
        m_reading = true;
        m_requestsThisRead = 0;
        m_onLine += late.join() + (chatters ? QByteArray(5, char(0x80)) : QByteArray());
        late.clear();
        if (!frames.isEmpty() && frames.first().atOnce) {
            *bytesRead = Deliver();
            return Result::Completed;
        }
        return Result::Pending;
    }

    Result PollRead(int* bytesRead) override
    {
        if (!m_reading)
            return Result::Failed;
        if (pollTimesOut)
            return Result::PortTimeout;
        if (pollFails) {
            m_clock.now += idleSecondsPerPoll;
            return Result::Failed;
        }
        // Silence: no frame left, or no request has reached the receiver.
        if (frames.isEmpty() || m_requestsThisRead == 0) {
            m_clock.now += idleSecondsPerPoll;
            return Result::Pending;
        }
        if (--frames.first().polls <= 0) {
            *bytesRead = Deliver();
            return Result::Completed;
        }
        return Result::Pending;
    }

    Result StartWrite(const quint8* data, int size) override
    {
        if (m_inFlight)
            requestOverlap = true;
        ++writesStarted;
        if (failStartWrite)
            return Result::Failed;
        lastRequest = QByteArray(reinterpret_cast<const char*>(data), size);
        if (writesCompleteAtOnce) {
            ++m_requestsThisRead;
            return Result::Completed;
        }
        m_inFlight = true;
        return Result::Pending;
    }

    Result WaitWrite() override
    {
        ++writesWaited;
        if (waitWriteResult == Result::Completed) {
            m_inFlight = false;
            ++m_requestsThisRead;
        }
        return waitWriteResult;
    }

    QByteArray lastRequest;

private:
    int Deliver()
    {
        const Frame next = frames.takeFirst();
        m_clock.now += next.secondsBefore;
        const QByteArray bytes = m_onLine + next.bytes;
        const int n = std::min<int>(static_cast<int>(bytes.size()), m_size);
        std::memcpy(m_buffer, bytes.constData(), n);
        m_onLine = bytes.mid(n);
        m_reading = false;
        return n;
    }

    ManualClock& m_clock;
    quint8* m_buffer = nullptr;
    int m_size = 0;
    bool m_reading = false;
    bool m_inFlight = false;
    int m_requestsThisRead = 0;
    QByteArray m_onLine; // arrived ahead of the next frame
};

} // namespace scripted
