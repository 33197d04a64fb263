// Event log of the simulated receiver: event words, frames, the text log
// format and the seeded log generator.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>

namespace zqsim {

// The receiver's seconds counter is 24 bits wide; event words keep its low 22.
inline constexpr quint32 CounterMask = 0xFFFFFF;
inline constexpr quint32 EventCounterMask = 0x3FFFFF;
inline constexpr int MaxUserField = 511;
inline constexpr int WordsPerFrame = 16;
inline constexpr int FrameSize = 4 + 4 * WordsPerFrame; // 68 bytes
inline constexpr quint32 EndWord = 0;

// One logged event. `counter` is the 22-bit counter value at the event,
// `user` the 9-bit user field U (the host stores U - 1).
struct Event
{
    quint32 counter = 0;
    int user = 0;
    bool button = false;

    friend bool operator==(const Event&, const Event&) = default;
};

// Event word: bits 0-21 counter, bit 22 button, bit 23 bit 8 of U, bits 24-31 bits 0-7 of U.
quint32 encodeEvent(const Event& event);
Event decodeEvent(quint32 word);

using FrameWords = std::array<quint32, WordsPerFrame>;

// A 68-byte frame: status byte, 24-bit counter now, then 16 event words, all little-endian.
QByteArray encodeFrame(quint8 status, quint32 counterNow, const FrameWords& words);

// Seconds from the oldest to the newest event, counting each step forward
// modulo 2^22 (a lower counter than the one before is a wrap).
quint64 logSpan(const QList<Event>& events);

// A log may span at most this many seconds: any longer and the host, which
// dates events by counter differences modulo 2^22, would date them wrongly.
inline constexpr quint64 MaxLogSpan = EventCounterMask;

struct ParseResult
{
    QList<Event> events; // oldest first
    QString error; // empty when the text was accepted; starts with "line N: " when tied to a line
    int errorLine = 0; // 1-based line of the error, 0 if not tied to a line

    bool ok() const { return error.isEmpty(); }
};

// Text log: one event per line, oldest first, "COUNTER USER_FIELD BUTTON",
// numbers decimal or 0x-hex, '#' starts a comment, blank lines are skipped.
ParseResult parseLog(const QString& text);
// As parseLog; errors are prefixed with the file name.
ParseResult readLogFile(const QString& path);

// Parses a non-negative decimal or 0x-hex number.
bool parseNumber(const QString& text, quint64* value);

// Small deterministic generator (SplitMix64): the same seed gives the same
// sequence on every platform and standard library.
class Rng
{
public:
    explicit Rng(quint64 seed) : m_state(seed) {}
    quint64 next();
    // A value in [0, bound), bound > 0.
    quint64 below(quint64 bound) { return next() % bound; }
    bool chance(int percent) { return below(100) < quint64(percent); }

private:
    quint64 m_state;
};

// One random event at `counter`: mostly one of `regulars`, now and then any
// user field from 0 to 511 (the edges 0, 255, 256 and 511 more often); the
// button bit in about one event of five. Never the end word.
Event randomEvent(Rng& rng, quint32 counter, const QList<int>& regulars);

// A log of `count` events that ends a little before the 24-bit counter value
// `counterNow`, oldest first: a handful of regular users, gaps from seconds to
// hours, counters all different, the span from the oldest event to
// `counterNow` below 2^22 seconds. A small `counterNow` makes the log straddle
// the counter wrap.
QList<Event> generateLog(int count, quint64 seed, quint32 counterNow);

// The largest count generateLog accepts.
inline constexpr int MaxGeneratedEvents = 1000000;

} // namespace zqsim
