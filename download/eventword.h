#pragma once

#include <QString>
#include <QtGlobal>
#include <span>

// The receiver's event word, 32 bits: the seconds counter in bits 0-21, the
// button in bit 22, the user field U in bit 23 (U's bit 8) and bits 24-31
// (U's bits 0-7). The user number stored is U - 1, from -1 to 510.
namespace eventword {

constexpr quint32 kCounterMask = 0x3FFFFF;
constexpr quint32 kButtonBit = 0x400000;
// The end of the receiver's log.
constexpr quint32 kEndWord = 0;

inline qint32 Timer(quint32 word)
{
    return static_cast<qint32>(word & kCounterMask);
}

inline qint32 UserNo(quint32 word)
{
    const quint32 field = (word >> 24) | (((word >> 23) & 1u) << 8);
    return static_cast<qint32>(field) - 1;
}

inline QString Button(quint32 word)
{
    return (word & kButtonBit) ? QStringLiteral("1") : QStringLiteral("0");
}

// The word a stored row was made from. Any button text but "0" counts as
// pressed; user number bits above the nine of the field are dropped.
inline quint32 Rebuild(qint32 timer, qint32 userNo, const QString& button)
{
    const quint32 field = static_cast<quint32>(userNo) + 1u;
    quint32 word = static_cast<quint32>(timer) & kCounterMask;
    word |= (field & 0xFFu) << 24;
    word |= ((field >> 8) & 1u) << 23;
    if (button != QLatin1String("0"))
        word |= kButtonBit;
    return word;
}

// Dates the events, newest first, from the receiver's counter and the host's
// clock when the first frame arrived: each event lies the counter distance
// (modulo 2^22, so a wrap counts forward) before the next newer one.
inline void ReconstructTimes(quint32 anchorCounter, qint64 anchorTime,
                             std::span<const quint32> words, std::span<qint64> times)
{
    quint32 previousCounter = anchorCounter;
    qint64 previousTime = anchorTime;
    for (std::size_t i = 0; i < words.size() && i < times.size(); ++i) {
        const quint32 counter = words[i] & kCounterMask;
        const quint32 difference = (previousCounter - counter) & kCounterMask;
        times[i] = previousTime - static_cast<qint64>(difference);
        previousCounter = counter;
        previousTime = times[i];
    }
}

} // namespace eventword
