// The simulated receiver's behaviour on the line, driven by an injected
// clock: request bytes in, frames out.
#pragma once

#include "simlog.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace zqsim {

// Misbehaviour on request; the defaults make a healthy receiver.
struct Faults
{
    quint8 status = 0;      // status byte of the first frame of every session
    int silenceAfter = -1;  // answer only this many frames per session; < 0: no limit
    int shortFrame = 0;     // this frame of every session (1-based) is cut short; 0: none
    int shortLength = 34;   // bytes of the short frame that are sent (1 to 67)
    int junk = 0;           // junk bytes put on the line at start and after every session
    bool noEndWord = false; // after the oldest event, garbage words instead of the end word
    int loseByte = 0;       // this frame of every session (1-based) loses a byte; 0: none
    int doubleByte = 0;     // this frame of every session (1-based) has a byte twice; 0: none
};

class Receiver
{
public:
    // A pause in requests longer than this starts a new session.
    static constexpr qint64 SessionGapMs = 250;
    // After a short frame the receiver stays quiet this long, well beyond the
    // host's 50 ms inter-byte time-out, so the host sees the frame end early.
    static constexpr qint64 ShortFramePauseMs = 100;
    // The byte a frame loses or has twice: inside its second event word.
    static constexpr int FaultyByte = 10;

    // `log` oldest first; the 24-bit counter reads `counterAtStart` at time `startMs`
    // and goes up by one every 1000 ms after it.
    Receiver(QList<Event> log, quint32 counterAtStart, qint64 startMs, Faults faults = {},
             quint64 seed = 1);

    // Bytes to put on the line at start-up (the junk fault), or nothing.
    QByteArray start();

    // A request byte arrived at `t`. Returns the reply to send, or nothing when
    // the request is dropped (a reply is still going out, the short-frame pause,
    // or the silence fault).
    QByteArray request(qint64 t);

    // The last byte of the reply returned by request() left at `t`.
    void replySent(qint64 t);

    // Time has passed without requests: ends the session once the pause is long
    // enough and returns the bytes to put on the line then (the junk fault).
    QByteArray idle(qint64 t);

    // When idle() should next be called, or -1 if it has nothing to wait for.
    qint64 nextWakeup() const;

    // The 24-bit counter at `t`.
    quint32 counterAt(qint64 t) const;

    // Appends an event at the counter now; it is the newest from the next session
    // on. Refused (nullopt) when it would encode to the end word: counter 0, user
    // field 0, no button.
    std::optional<Event> addEvent(int user, bool button, qint64 t);
    // Appends `count` random events spread between the newest event and now.
    QList<Event> addRandom(int count, qint64 t);

    const QList<Event>& log() const { return m_log; }
    const Faults& faults() const { return m_faults; }
    bool sessionActive() const { return m_sessionActive; }
    bool busy() const { return m_replyOut; }
    int sessions() const { return m_sessions; }
    int framesInSession() const { return m_frames; }
    int droppedInSession() const { return m_dropped; }
    int eventsSentInSession() const { return m_sent; }

private:
    QByteArray nextFrame(qint64 t);
    QByteArray junk();
    QList<int> regularUsers() const;

    QList<Event> m_log;
    Faults m_faults;
    Rng m_rng;
    quint32 m_counterAtStart;
    qint64 m_startMs;

    bool m_sessionActive = false;
    bool m_replyOut = false;
    qint64 m_lastRequest = 0;
    qint64 m_quietUntil = 0;
    int m_sessions = 0;
    int m_frames = 0;
    int m_dropped = 0;
    int m_sent = 0;
    // Events of the session not sent yet: the next one is m_log[m_remaining - 1].
    qsizetype m_remaining = 0;
    bool m_endSent = false;
};

// A line typed on the simulator's standard input.
struct Command
{
    enum Kind
    {
        Invalid,
        Empty,
        Add,
        AddRandom,
        Status,
        Help,
        Quit
    };
    Kind kind = Invalid;
    int user = 0;
    bool button = false;
    int count = 0;
    QString error; // for Invalid
};

Command parseCommand(const QString& line);

// Text of the "help" command and of --help.
QString commandHelp();

} // namespace zqsim
