// The outcomes a download ends with, and their messages.

#include "download/outcome.h"

#include "link/portname.h"

#include <utility>

namespace download {

namespace {

QString cantAdd()
{
    return Outcome::tr("Can't add events to the database");
}

UserMessage taskModal(const QString& text, UserMessage::Kind kind, const QString& detail = {})
{
    return {text, kind, detail, true};
}

UserMessage exchangeMessage(EndState state, const PortName& port)
{
    const QString shown = port.Shown();
    switch (state) {
    case EndState::Running:
    case EndState::NoMoreEvents:
        break;
    case EndState::PortFailure:
        return taskModal(Outcome::tr("Can't read from the serial port"), UserMessage::Kind::Error,
                         Outcome::tr("Reading from or writing to %1 failed.").arg(shown));
    case EndState::TimedOut:
        return taskModal(Outcome::tr("Out of time"), UserMessage::Kind::Error,
                         Outcome::tr("The receiver on %1 stopped answering.").arg(shown));
    case EndState::ReceiverError:
        return taskModal(
            Outcome::tr("Communication error"), UserMessage::Kind::Error,
            Outcome::tr("The receiver on %1 reported an error or sent a broken frame.").arg(shown));
    case EndState::NeverQuiet:
        return taskModal(Outcome::tr("Communication error"), UserMessage::Kind::Error,
                         Outcome::tr("Bytes kept arriving from %1 without being asked for: is "
                                     "the receiver on this port?")
                             .arg(shown));
    }
    return {};
}

} // namespace

Outcome::Outcome(Kind kind, UserMessage message) : m_kind(kind), m_message(std::move(message)) {}

// A lock held by another program, or a server restarted meanwhile, is gone
// by the next try; anything else the database meets it meets again.
Outcome::Kind Outcome::DatabaseKind(DbFailure failure)
{
    return failure == DbFailure::Locked || failure == DbFailure::ConnectionLost
               ? Kind::DatabaseFailedThisTime
               : Kind::DatabaseFailed;
}

Outcome Outcome::Stored(int read, qint64 stored, bool missedNewestStored)
{
    Outcome outcome(Kind::Stored, taskModal(tr("Number of read events:  %1").arg(read),
                                            UserMessage::Kind::Outcome));
    outcome.m_events = read;
    // The events read were committed, but the database holds fewer rows of
    // them (a trigger dropped some).
    if (stored < read)
        outcome.AddWarning({tr("Only %1 of the %2 events read were stored: the database dropped "
                               "%3 of them.")
                                .arg(stored)
                                .arg(read)
                                .arg(read - stored),
                            UserMessage::Kind::Warning,
                            {},
                            false});
    if (missedNewestStored)
        outcome.AddWarning(
            {tr("The newest stored event was not found on the receiver: %1 stored, some may be "
                "stored twice.")
                 .arg(stored == 1 ? tr("1 event") : tr("%1 events").arg(stored)),
             UserMessage::Kind::Warning,
             {},
             false});
    return outcome;
}

Outcome Outcome::NothingNew()
{
    return {Kind::NothingNew,
            taskModal(tr("There are no more events to read"), UserMessage::Kind::Outcome)};
}

Outcome Outcome::NoDatabase()
{
    return {Kind::DatabaseFailed,
            {tr("The database is not opened !"), UserMessage::Kind::Error, {}, false}};
}

Outcome Outcome::DatabaseNotOpened(DbFailure failure, QList<UserMessage> told)
{
    Outcome outcome(DatabaseKind(failure), {});
    outcome.m_told = std::move(told);
    outcome.m_databaseRaised = true;
    return outcome;
}

Outcome Outcome::AnotherRead(const QString& database)
{
    return {Kind::AnotherRead,
            {tr("Another read is under way"), UserMessage::Kind::Error,
             tr("Another program is reading events into \"%1\".").arg(database), false}};
}

Outcome Outcome::PortNotOpened(const PortOpenFailure& failure)
{
    const Kind kind = failure.reason == PortOpenFailure::Reason::Held ? Kind::PortHeld
                      : failure.Lasts()                               ? Kind::PortFailed
                                                                      : Kind::LineFailed;
    return {kind,
            {tr("Error initializing serial port"), UserMessage::Kind::Error, failure.text, false}};
}

Outcome Outcome::ExchangeFailed(EndState state, const PortName& port)
{
    return {Kind::LineFailed, exchangeMessage(state, port)};
}

Outcome Outcome::CannotAppend()
{
    return {Kind::DatabaseFailed, taskModal(cantAdd(), UserMessage::Kind::Error)};
}

Outcome Outcome::StoreFailed(const QString& database, const CDBException& error)
{
    Outcome outcome(DatabaseKind(error.Kind()),
                    taskModal(cantAdd(), UserMessage::Kind::Error,
                              tr("The events could not be stored in \"%1\": %2. Nothing of this "
                                 "download was stored; the events stay on the receiver for the "
                                 "next download.")
                                  .arg(database, error.m_strError)));
    outcome.m_databaseRaised = true;
    return outcome;
}

Outcome Outcome::ConnectionLost(const QString& database, const QString& loss)
{
    Outcome outcome(Kind::DatabaseFailedThisTime,
                    taskModal(cantAdd(), UserMessage::Kind::Error,
                              tr("The connection to the database server of \"%1\" was lost: %2. "
                                 "Nothing of this download was stored; the events stay on the "
                                 "receiver for the next download.")
                                  .arg(database, loss)));
    outcome.m_databaseRaised = true;
    return outcome;
}

Outcome Outcome::DatabaseError(const QString& error, DbFailure failure)
{
    Outcome outcome(DatabaseKind(failure), {error, UserMessage::Kind::Error, {}, false});
    outcome.m_databaseRaised = true;
    return outcome;
}

QList<UserMessage> Outcome::Told() const
{
    if (IsSuccess())
        return {};
    if (!m_told.isEmpty())
        return m_told;
    return m_message.text.isEmpty() ? QList<UserMessage>{} : QList<UserMessage>{m_message};
}

} // namespace download
