#include "link/devicelink.h"

#include <QIODevice>
#include <algorithm>
#include <array>
#include <limits>
#include <thread>

DeviceLink::DeviceLink()
    : m_read([this](quint8* into, qint64 most) { return TakeArrived(into, most); },
             [this] { return m_clock.nsecsElapsed(); })
{
    m_clock.start();
}

void DeviceLink::CancelIo()
{
    m_read.Cancel();
    m_writing = false;
}

int DeviceLink::DiscardArrived()
{
    if (!Device() || m_read.Active())
        return 0;
    std::array<quint8, 256> sink{};
    qint64 dropped = 0;
    for (qint64 got = 0;
         dropped < kMostBuffered && (got = TakeArrived(sink.data(), qint64(sink.size()))) > 0;)
        dropped += got;
    return static_cast<int>(std::min<qint64>(dropped, std::numeric_limits<int>::max()));
}

SerialLink::Result DeviceLink::StartRead(quint8* buffer, int size, int* bytesRead)
{
    if (!Device() || m_read.Active() || size <= 0 || !ReadCanStart())
        return Result::Failed;
    m_read.Start(buffer, size);
    // A read starting on a frame that is all there ends at once.
    if (m_read.Poll()) {
        *bytesRead = m_read.Count();
        return Result::Completed;
    }
    return Result::Pending;
}

SerialLink::Result DeviceLink::PollRead(int* bytesRead)
{
    if (!Device() || !m_read.Active())
        return Result::Failed;
    if (m_read.Poll()) {
        *bytesRead = m_read.Count();
        return Result::Completed;
    }
    const bool more = AwaitBytes(m_read.Count() > 0);
    *bytesRead = m_read.Count();
    if (!more) {
        m_read.Cancel();
        return Result::Failed;
    }
    return Result::Pending;
}

SerialLink::Result DeviceLink::StartWrite(const quint8* data, int size)
{
    if (!Device() || m_writing || size <= 0)
        return Result::Failed;
    m_sinceWriteStart.start();
    if (!Send(data, size))
        return Result::Failed;
    m_writing = true;
    m_writeSize = size;
    return Result::Pending;
}

int DeviceLink::WriteTimeLeft() const
{
    return kWriteBoundMilliseconds - static_cast<int>(m_sinceWriteStart.elapsed());
}

SerialLink::Result DeviceLink::WaitWrite()
{
    QIODevice* device = Device();
    if (!device || !m_writing)
        return Result::Failed;
    // Out of our hands and into the device's...
    while (device->bytesToWrite() > 0) {
        // Taken once: a wait of less than nothing would have no end.
        const int left = WriteTimeLeft();
        if (left <= 0)
            return Result::PortTimeout;
        if (!device->waitForBytesWritten(left)) {
            const Result stalled = WriteStalled();
            if (stalled != Result::Pending)
                return stalled;
        }
    }
    // ...then onto the line...
    const Result onLine = AwaitOnLine();
    if (onLine != Result::Completed)
        return onLine;
    // ...and never faster than the line could carry it.
    const qint64 early = kByteTimeNanoseconds * m_writeSize - m_sinceWriteStart.nsecsElapsed();
    if (early > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(early));
    m_writing = false;
    m_bytesWritten += m_writeSize;
    return Result::Completed;
}
