#include "receiver.h"

#include <QCoreApplication>
#include <QHash>
#include <QStringList>
#include <algorithm>
#include <utility>

namespace zqsim {

Receiver::Receiver(QList<Event> log, quint32 counterAtStart, qint64 startMs, Faults faults,
                   quint64 seed)
    : m_log(std::move(log)), m_faults(faults), m_rng(seed),
      m_counterAtStart(counterAtStart & CounterMask), m_startMs(startMs)
{
    m_faults.shortLength = std::clamp(m_faults.shortLength, 1, FrameSize - 1);
}

QByteArray Receiver::start()
{
    return junk();
}

QByteArray Receiver::junk()
{
    QByteArray bytes(m_faults.junk, '\0');
    for (char& byte : bytes)
        byte = char(0x80 | m_rng.below(0x80)); // never 0x00, easy to tell from a frame start
    return bytes;
}

quint32 Receiver::counterAt(qint64 t) const
{
    const qint64 elapsed = std::max<qint64>(0, t - m_startMs);
    return quint32((quint64(m_counterAtStart) + quint64(elapsed / 1000)) & CounterMask);
}

QByteArray Receiver::request(qint64 t)
{
    if (!m_sessionActive || t - m_lastRequest > SessionGapMs) {
        m_sessionActive = true;
        ++m_sessions;
        m_frames = 0;
        m_dropped = 0;
        m_sent = 0;
        m_remaining = m_log.size();
        m_quietUntil = 0;
    }
    m_lastRequest = t;

    const bool silenced = m_faults.silenceAfter >= 0 && m_frames >= m_faults.silenceAfter;
    if (m_replyOut || t < m_quietUntil || silenced) {
        ++m_dropped;
        return {};
    }
    QByteArray frame = nextFrame(t);
    ++m_frames;
    if (m_frames == m_faults.shortFrame)
        frame.truncate(m_faults.shortLength);
    if (m_frames == m_faults.loseByte && frame.size() > FaultyByte)
        frame.remove(FaultyByte, 1);
    if (m_frames == m_faults.doubleByte && frame.size() > FaultyByte)
        frame.insert(FaultyByte, frame.at(FaultyByte));
    m_replyOut = true;
    return frame;
}

QByteArray Receiver::nextFrame(qint64 t)
{
    FrameWords words{};
    for (quint32& word : words) {
        if (m_remaining > 0) {
            word = encodeEvent(m_log[--m_remaining]);
            ++m_sent;
        } else if (m_faults.noEndWord) {
            word = quint32(m_rng.next());
            if (word == EndWord)
                word = 0xA5A5A5A5;
        } else {
            word = EndWord; // the end of the log, and nothing after it
        }
    }
    const quint8 status = m_frames == 0 ? m_faults.status : 0;
    return encodeFrame(status, counterAt(t), words);
}

void Receiver::replySent(qint64 t)
{
    if (!m_replyOut)
        return;
    m_replyOut = false;
    if (m_frames == m_faults.shortFrame)
        m_quietUntil = t + ShortFramePauseMs;
}

QByteArray Receiver::idle(qint64 t)
{
    if (m_sessionActive && t - m_lastRequest > SessionGapMs) {
        m_sessionActive = false;
        return junk();
    }
    return {};
}

qint64 Receiver::nextWakeup() const
{
    return m_sessionActive ? m_lastRequest + SessionGapMs + 1 : -1;
}

std::optional<Event> Receiver::addEvent(int user, bool button, qint64 t)
{
    const Event event{counterAt(t) & EventCounterMask, user & MaxUserField, button};
    if (encodeEvent(event) == EndWord)
        return std::nullopt;
    m_log.append(event);
    return event;
}

QList<int> Receiver::regularUsers() const
{
    QHash<int, int> counts;
    for (const Event& event : m_log)
        ++counts[event.user];
    QList<std::pair<int, int>> byCount; // (count, user)
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        byCount.append({it.value(), it.key()});
    std::sort(byCount.begin(), byCount.end(), std::greater<>());
    QList<int> users;
    for (qsizetype i = 0; i < byCount.size() && i < 6; ++i)
        users.append(byCount[i].second);
    return users;
}

QList<Event> Receiver::addRandom(int count, qint64 t)
{
    QList<Event> added;
    if (count <= 0)
        return added;
    const quint32 now = counterAt(t) & EventCounterMask;
    const quint32 newest = m_log.isEmpty() ? now : m_log.last().counter;
    quint64 room = (now - newest) & EventCounterMask;
    if (room > EventCounterMask / 2)
        room = 0; // the counter was set behind the log: keep to the newest counter
    const QList<int> regulars = regularUsers();
    for (int k = 1; k <= count; ++k) {
        const quint32 counter = quint32(newest + room * quint64(k) / quint64(count));
        Event event = randomEvent(m_rng, counter, regulars);
        // Two equal words in a row would look to the host like an event it already has.
        while (!m_log.isEmpty() && encodeEvent(event) == encodeEvent(m_log.last()))
            event.user = (event.user + 1) % (MaxUserField + 1);
        if (encodeEvent(event) == EndWord)
            event.button = true;
        m_log.append(event);
        added.append(event);
    }
    return added;
}

Command parseCommand(const QString& line)
{
    Command command;
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        command.kind = Command::Empty;
        return command;
    }
    const QString& name = words[0];
    auto invalid = [&command](const QString& error) {
        command.kind = Command::Invalid;
        command.error = error;
        return command;
    };
    quint64 value = 0;
    if (name == QLatin1String("add")) {
        if (words.size() < 2 || words.size() > 3)
            return invalid(
                QCoreApplication::translate("Receiver", "usage: add USER_FIELD [BUTTON]"));
        if (!parseNumber(words[1], &value) || value > quint64(MaxUserField))
            return invalid(
                QCoreApplication::translate("Receiver", "USER_FIELD must be 0 to 511, not '%1'")
                    .arg(words[1]));
        command.user = int(value);
        if (words.size() == 3) {
            if (!parseNumber(words[2], &value) || value > 1)
                return invalid(
                    QCoreApplication::translate("Receiver", "BUTTON must be 0 or 1, not '%1'")
                        .arg(words[2]));
            command.button = value == 1;
        }
        command.kind = Command::Add;
    } else if (name == QLatin1String("add-random")) {
        if (words.size() != 2 || !parseNumber(words[1], &value) || value < 1 || value > 100000)
            return invalid(QCoreApplication::translate("Receiver",
                                                       "usage: add-random N (N from 1 to 100000)"));
        command.count = int(value);
        command.kind = Command::AddRandom;
    } else if (words.size() == 1 && name == QLatin1String("status")) {
        command.kind = Command::Status;
    } else if (words.size() == 1 && name == QLatin1String("help")) {
        command.kind = Command::Help;
    } else if (words.size() == 1 &&
               (name == QLatin1String("quit") || name == QLatin1String("exit"))) {
        command.kind = Command::Quit;
    } else {
        return invalid(QCoreApplication::translate("Receiver", "unknown command '%1' (try help)")
                           .arg(line.simplified()));
    }
    return command;
}

QString commandHelp()
{
    return QCoreApplication::translate(
        "Receiver",
        "Commands on standard input, one per line:\n"
        "  add USER_FIELD [BUTTON]  log an event now: user field 0-511, button 0 or 1 (default 0)\n"
        "  add-random N             log N random events between the newest event and now\n"
        "  status                   show the counter, the log and the current session\n"
        "  help                     list these commands\n"
        "  quit                     stop the simulator (as does Ctrl+C)\n"
        "New events are sent from the next session on. End of input is harmless: the\n"
        "simulator keeps running.\n");
}

} // namespace zqsim
