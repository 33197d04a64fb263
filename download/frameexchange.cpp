// The exchange of frames with the receiver on an open port.

#include "download/frameexchange.h"

#include "download/eventword.h"
#include "download/services.h"
#include "link/seriallink.h"

#include <cstddef>
#include <iterator>

namespace download {

namespace {

constexpr int kSettleMilliseconds = 300;
// The line has no checksum; what keeps a lost or doubled byte from shifting
// the frames after it is that a frame is one burst answering its request: the
// next is asked for only once the last is whole, nothing but whole frames may
// arrive unasked, and a frame must come together. A pause inside a frame longer than this
// ends it short: a few byte times at 9600 baud, the 16 ms a USB adapter may
// hold its bytes, and the rest for a loaded machine.
constexpr int kReadIntervalMilliseconds = 50;
// A frame must be whole this long after its first byte: 68 bytes take 71 ms
// at 9600 baud, a USB adapter may hold the last of them 16 ms more, and the
// rest is for a loaded machine. Below the receiver's 250 ms pause that starts
// a new session.
constexpr int kFrameBoundMilliseconds = 150;
// Before the first request a whole wait this long must pass without a byte
// arriving: longer than the pause that ends a read, so a frame under way has
// ended.
constexpr int kQuietMilliseconds = 60;
// A line still busy after this long is not a receiver waiting to be asked.
constexpr int kQuietBoundMilliseconds = 1000;
constexpr qint64 kSilenceSeconds = 5;

// The byte that asks the receiver for its next frame.
constexpr quint8 kRequest = 0x00;

quint32 frameWord(const std::array<quint8, kFrameSize>& frame, int index)
{
    const quint8* p = frame.data() + std::ptrdiff_t{4} * index;
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

} // namespace

FrameExchange::FrameExchange(SerialLink& link, Clock& clock, DownloadProgress* progress,
                             quint32 lastWord)
    : m_link(link), m_clock(clock), m_progress(progress), m_lastWord(lastWord)
{
    m_words.reserve(kMostEvents);
}

void FrameExchange::Prepare()
{
    m_link.SetLineFormat();
    m_link.RaiseRts();
    m_link.RaiseDtr();
    m_clock.Sleep(kSettleMilliseconds);
    // Whatever came in before, and while the lines settled, is dropped.
    m_link.ClearErrors();
    m_link.CancelIo();
    m_link.PurgeInput();
    m_link.PurgeOutput();
    m_link.ClearErrors();
    m_link.SetReadIntervalTimeout(kReadIntervalMilliseconds);
    m_link.SetReadFrameBound(kFrameBoundMilliseconds);
    m_state = WaitUntilQuiet();
    m_words.clear();
    m_lastFrameTime = m_clock.Now();
}

// A receiver finishes a frame it has begun, and answers a request byte
// still on the line, though the host that asked is gone (killed, or
// crashed). Such bytes can arrive after the purge; taken for the start of
// the first frame, they would shift every frame of this download.
EndState FrameExchange::WaitUntilQuiet()
{
    for (int waited = 0; waited < kQuietBoundMilliseconds; waited += kQuietMilliseconds) {
        m_clock.Sleep(kQuietMilliseconds);
        if (m_link.DiscardArrived() == 0)
            return EndState::Running;
    }
    return EndState::NeverQuiet;
}

// Asks for one frame at a time, and takes frames until an end condition
// is met. Request bytes go out one at a time until the frame begins to
// arrive (the receiver drops those that come while it sends, and a
// steady stream keeps its session going), and none after that: the next
// frame is not sent before this one is whole, so a byte lost from it
// leaves it short rather than taking a byte of the next. Before a frame is
// asked for only whole frames may be there, answers to requests that
// crossed the last frame on a line faster than ours; any other byte
// belongs to no request: the surplus of a doubled byte, or bytes nobody
// asked for.
void FrameExchange::ExchangeFrames()
{
    using R = SerialLink::Result;
    bool requestInFlight = false;
    while (m_state == EndState::Running && std::ssize(m_words) < kEventLimit) {
        if (m_link.Arrived() % kFrameSize != 0) {
            m_state = EndState::ReceiverError;
            break;
        }
        int bytes = 0;
        const R started = m_link.StartRead(m_frame.data(), kFrameSize, &bytes);
        if (started == R::Completed) {
            TakeFrame(bytes);
            continue;
        }
        if (started != R::Pending) {
            m_state = EndState::PortFailure;
            break;
        }
        bool begun = false;
        bool reading = true;
        while (reading && m_state == EndState::Running) {
            if (!begun && !requestInFlight) {
                const R written = m_link.StartWrite(&kRequest, 1);
                if (written == R::Pending) {
                    requestInFlight = true;
                } else if (written != R::Completed) {
                    m_state = EndState::PortFailure;
                    break;
                }
            }
            if (requestInFlight) {
                const R sent = m_link.WaitWrite();
                if (sent == R::Completed) {
                    requestInFlight = false;
                } else if (sent == R::PortTimeout) {
                    m_state = EndState::TimedOut;
                    break;
                }
                // On a failed wait the byte stays in flight: nothing more
                // is sent, and the silence ends the exchange.
            }
            const R polled = m_link.PollRead(&bytes);
            if (polled == R::Completed) {
                reading = false;
                TakeFrame(bytes);
            } else if (polled == R::Pending) {
                begun = bytes > 0;
            } else if (polled == R::PortTimeout) {
                m_state = EndState::TimedOut;
                break;
            } else if (polled == R::Failed) {
                // The port is gone (a network connection closed): no more
                // bytes can come.
                m_state = EndState::PortFailure;
                break;
            }
            if (m_state == EndState::Running && m_clock.Now() > m_lastFrameTime + kSilenceSeconds)
                m_state = EndState::TimedOut;
        }
    }
}

void FrameExchange::Exchange()
{
    ExchangeFrames();
    if (m_state == EndState::Running || m_state == EndState::NoMoreEvents)
        CheckQuietAfter();
}

// Nothing is asked for after the last frame, so nothing but the answer to
// a request that crossed it may follow: any other byte is the surplus of a
// doubled byte, and the frames before it were shifted.
void FrameExchange::CheckQuietAfter()
{
    m_clock.Sleep(kQuietMilliseconds);
    if (m_link.DiscardArrived() % kFrameSize != 0)
        m_state = EndState::ReceiverError;
}

void FrameExchange::TakeFrame(int bytes)
{
    m_lastFrameTime = m_clock.Now();
    // The tail of a short frame would be stale bytes, not events.
    if (bytes < kFrameSize) {
        m_state = EndState::ReceiverError;
        return;
    }
    if (m_words.empty()) {
        m_anchorCounter = frameWord(m_frame, 0) >> 8;
        m_anchorTime = m_clock.Now();
        if (m_frame[0] != 0x00)
            m_state = EndState::ReceiverError;
    }
    for (int i = 1; i < kFrameWords && m_state == EndState::Running; ++i) {
        const quint32 word = frameWord(m_frame, i);
        if (word == eventword::kEndWord || word == m_lastWord) {
            m_state = EndState::NoMoreEvents;
            // An empty table's mark is the end word itself.
            m_missedNewestStored = word != m_lastWord;
            break;
        }
        m_words.push_back(word);
        if (m_progress)
            m_progress->Advance();
    }
}

} // namespace download
