#pragma once

#include <QtGlobal>
#include <array>
#include <span>
#include <vector>

class Clock;
class DownloadProgress;
class SerialLink;

namespace download {

constexpr int kFrameSize = 68;
constexpr int kFrameWords = kFrameSize / 4;

// How the exchange with the receiver ended.
enum class EndState
{
    Running = 0,       // also the end state when the event limit is reached
    NoMoreEvents = 1,  // the end word, or the newest stored event
    PortFailure = 2,   // a read or a write could not be started
    TimedOut = 3,      // silence, the port's time-out, or a request byte that never left
    ReceiverError = 4, // a bad status byte, a frame cut short or late, bytes not asked for
    NeverQuiet = 5     // bytes kept arriving before anything was asked for
};

// The receiver's side of a download on an open port: the line made ready,
// then frames asked for and their event words taken until the end word, the
// newest stored event, the event limit or a failure. Each
// frame's first word dates the events: the receiver's counter at the moment
// the first frame came.
class FrameExchange
{
public:
    // Frames are asked for while fewer events than this have been taken; the
    // last frame can add up to 16 more.
    static constexpr int kEventLimit = 6144;
    static constexpr int kMostEvents = kEventLimit - 1 + (kFrameWords - 1);

    // lastWord: the newest stored event as the receiver words it; 0 when
    // none is stored.
    FrameExchange(SerialLink& link, Clock& clock, DownloadProgress* progress, quint32 lastWord);

    // Sets the line up and waits until it is quiet.
    void Prepare();
    // Takes frames until an end condition is met; only after Prepare().
    void Exchange();

    EndState State() const { return m_state; }
    // The words taken, oldest first as the receiver sent them.
    std::span<const quint32> Words() const { return m_words; }
    quint32 AnchorCounter() const { return m_anchorCounter; }
    qint64 AnchorTime() const { return m_anchorTime; }
    // The end word came, and not the newest stored event before it, though
    // one was stored: the receiver's log does not hold it (another program
    // added it, or another receiver), so the words taken may hold events
    // stored before.
    bool MissedNewestStored() const { return m_missedNewestStored; }

private:
    EndState WaitUntilQuiet();
    void ExchangeFrames();
    void CheckQuietAfter();
    void TakeFrame(int bytes);

    SerialLink& m_link;
    Clock& m_clock;
    DownloadProgress* m_progress;
    const quint32 m_lastWord;

    EndState m_state = EndState::Running;
    bool m_missedNewestStored = false;
    std::vector<quint32> m_words;
    qint64 m_lastFrameTime = 0;
    quint32 m_anchorCounter = 0;
    qint64 m_anchorTime = 0;
    std::array<quint8, kFrameSize> m_frame{};
};

} // namespace download
