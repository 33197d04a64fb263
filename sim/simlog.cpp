#include "simlog.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QtEndian>
#include <algorithm>
#include <cstddef>

namespace zqsim {

quint32 encodeEvent(const Event& event)
{
    const quint32 user = quint32(event.user) & 0x1FF;
    quint32 word = event.counter & EventCounterMask;
    if (event.button)
        word |= 0x00400000;
    if (user & 0x100)
        word |= 0x00800000;
    word |= (user & 0xFF) << 24;
    return word;
}

Event decodeEvent(quint32 word)
{
    Event event;
    event.counter = word & EventCounterMask;
    event.button = (word & 0x00400000) != 0;
    event.user = int(word >> 24) | ((word & 0x00800000) ? 0x100 : 0);
    return event;
}

QByteArray encodeFrame(quint8 status, quint32 counterNow, const FrameWords& words)
{
    QByteArray frame(FrameSize, '\0');
    auto* data = reinterpret_cast<uchar*>(frame.data());
    qToLittleEndian<quint32>(quint32(status) | ((counterNow & CounterMask) << 8), data);
    for (int i = 0; i < WordsPerFrame; ++i)
        qToLittleEndian<quint32>(words[i], data + 4 + std::ptrdiff_t{4} * i);
    return frame;
}

quint64 logSpan(const QList<Event>& events)
{
    quint64 span = 0;
    for (qsizetype i = 1; i < events.size(); ++i)
        span += (events[i].counter - events[i - 1].counter) & EventCounterMask;
    return span;
}

bool parseNumber(const QString& text, quint64* value)
{
    if (text.isEmpty() || !text[0].isDigit())
        return false;
    bool ok = false;
    quint64 v = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        if (text.size() < 3)
            return false;
        v = text.mid(2).toULongLong(&ok, 16);
    } else {
        for (QChar c : text) {
            if (!c.isDigit())
                return false;
        }
        v = text.toULongLong(&ok, 10);
    }
    if (ok)
        *value = v;
    return ok;
}

namespace {

ParseResult failure(int line, const QString& message)
{
    ParseResult result;
    result.errorLine = line;
    result.error = QCoreApplication::translate("SimLog", "line %1: %2").arg(line).arg(message);
    return result;
}

} // namespace

ParseResult parseLog(const QString& text)
{
    ParseResult result;
    const QStringList lines = text.split(QLatin1Char('\n'));
    quint64 span = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int lineNo = int(i) + 1;
        QString line = lines[i];
        const qsizetype hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        const QStringList fields = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.isEmpty())
            continue;
        if (fields.size() != 3)
            return failure(lineNo, QCoreApplication::translate(
                                       "SimLog", "expected COUNTER USER_FIELD BUTTON, found %1 "
                                                 "field(s)")
                                       .arg(fields.size()));
        static const char* const names[3] = {"COUNTER", "USER_FIELD", "BUTTON"};
        quint64 values[3] = {};
        for (int f = 0; f < 3; ++f) {
            if (!parseNumber(fields[f], &values[f]))
                return failure(lineNo, QCoreApplication::translate(
                                           "SimLog", "%1 '%2' is not a decimal or 0x-hex number")
                                           .arg(QLatin1String(names[f]), fields[f]));
        }
        if (values[0] > EventCounterMask)
            return failure(lineNo, QCoreApplication::translate(
                                       "SimLog", "COUNTER %1 is out of range (0 to 4194303, "
                                                 "0x3FFFFF)")
                                       .arg(fields[0]));
        if (values[1] > quint64(MaxUserField))
            return failure(lineNo, QCoreApplication::translate(
                                       "SimLog", "USER_FIELD %1 is out of range (0 to 511)")
                                       .arg(fields[1]));
        if (values[2] > 1)
            return failure(
                lineNo,
                QCoreApplication::translate("SimLog", "BUTTON %1 must be 0 or 1").arg(fields[2]));

        const Event event{quint32(values[0]), int(values[1]), values[2] == 1};
        if (encodeEvent(event) == EndWord)
            return failure(lineNo, QCoreApplication::translate(
                                       "SimLog", "counter 0, user field 0 and button 0 make the "
                                                 "word 0, which ends the log; change one of them"));
        if (!result.events.isEmpty()) {
            span += (event.counter - result.events.last().counter) & EventCounterMask;
            if (span > MaxLogSpan)
                return failure(lineNo,
                               QCoreApplication::translate(
                                   "SimLog", "the log now spans %1 seconds, more than 4194303 "
                                             "(counters go forward and wrap from 0x3FFFFF to 0; "
                                             "a lower counter than the one before is a wrap)")
                                   .arg(span));
        }
        result.events.append(event);
    }
    return result;
}

ParseResult readLogFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ParseResult result;
        result.error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return result;
    }
    ParseResult result = parseLog(QString::fromUtf8(file.readAll()));
    if (!result.ok())
        result.error = QStringLiteral("%1: %2").arg(path, result.error);
    return result;
}

quint64 Rng::next()
{
    quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

Event randomEvent(Rng& rng, quint32 counter, const QList<int>& regulars)
{
    static const int edges[] = {0, 255, 256, 511};
    Event event;
    event.counter = counter & EventCounterMask;
    const quint64 kind = rng.below(100);
    if (kind < 85 && !regulars.isEmpty())
        event.user = regulars[qsizetype(rng.below(quint64(regulars.size())))];
    else if (kind < 90)
        event.user = edges[rng.below(4)];
    else
        event.user = int(rng.below(MaxUserField + 1));
    event.button = rng.chance(20);
    if (encodeEvent(event) == EndWord)
        event.button = true;
    return event;
}

namespace {

// Seconds between two events: mostly bursts and minutes, sometimes hours.
quint64 randomGap(Rng& rng)
{
    const quint64 kind = rng.below(100);
    if (kind < 45)
        return 1 + rng.below(60);
    if (kind < 80)
        return 60 + rng.below(quint64{30} * 60);
    if (kind < 95)
        return quint64{30} * 60 + rng.below(quint64{4} * 3600);
    return quint64{4} * 3600 + rng.below(quint64{12} * 3600);
}

} // namespace

QList<Event> generateLog(int count, quint64 seed, quint32 counterNow)
{
    count = std::clamp(count, 0, MaxGeneratedEvents);
    Rng rng(seed);
    QList<int> regulars;
    const int regularCount = 3 + int(rng.below(5));
    while (regulars.size() < regularCount) {
        const int user = 1 + int(rng.below(120));
        if (!regulars.contains(user))
            regulars.append(user);
    }

    // gaps[0] lies between the newest event and now, gaps[i] between event
    // i - 1 and event i counted from the newest.
    QList<quint64> gaps(count);
    quint64 total = 0;
    for (int i = 0; i < count; ++i) {
        gaps[i] = i == 0 ? 5 + rng.below(116) : randomGap(rng);
        total += gaps[i];
    }
    // Keep the log well inside 2^22 seconds so that the counter can run on
    // for days before the host misdates the oldest events. With at most
    // MaxGeneratedEvents gaps of at least 1 s, the sum stays below 2^22.
    const quint64 limit = 3 * (quint64(EventCounterMask) + 1) / 4;
    if (total > limit) {
        for (quint64& gap : gaps)
            gap = std::max<quint64>(1, gap * limit / total);
    }

    QList<Event> events(count);
    quint64 counter = quint64(counterNow) + (quint64(EventCounterMask) + 1) * 2;
    for (int i = 0; i < count; ++i) {
        counter -= gaps[i];
        events[count - 1 - i] = randomEvent(rng, quint32(counter), regulars);
    }
    return events;
}

} // namespace zqsim
