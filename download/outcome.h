#pragma once

#include "db/backend/dbexception.h"
#include "db/messages.h"
#include "download/frameexchange.h"
#include "link/seriallink.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

class PortName;

namespace download {

// How a download ended, as one value: what happened, whether trying again
// may help, and the words for it. Every program that runs a download shows
// Message() and Warnings() as they are and decides on Kind(); the words may
// change (or be translated) without changing what a scheduler is told.
class Outcome
{
    Q_DECLARE_TR_FUNCTIONS(Outcome)

public:
    enum class Kind
    {
        Stored,                 // the events read are stored: Events() of them
        NothingNew,             // the receiver had no event after the newest stored one
        AnotherRead,            // another read holds the database's read lock
        PortHeld,               // another read or program holds the port
        PortFailed,             // the port cannot be used until someone mends it
        LineFailed,             // the receiver, the line or the network failed this time
        DatabaseFailed,         // the database failed, and will again
        DatabaseFailedThisTime, // locked by another program, or its server went away
        Unfinished,             // ended before there was anything to tell
    };

    // Unfinished, until one of the named outcomes below replaces it.
    Outcome() = default;

    // read events were committed, of which the database holds stored;
    // missedNewestStored: the stop mark was not on the receiver (see
    // FrameExchange::MissedNewestStored).
    static Outcome Stored(int read, qint64 stored, bool missedNewestStored);
    static Outcome NothingNew();
    // No database is open to read into.
    static Outcome NoDatabase();
    // The database could not be opened for the read; the program that tried
    // has told why (told: its messages, for a summary).
    static Outcome DatabaseNotOpened(DbFailure failure, QList<UserMessage> told);
    static Outcome AnotherRead(const QString& database);
    static Outcome PortNotOpened(const PortOpenFailure& failure);
    // The exchange ended in state, neither Running nor NoMoreEvents.
    static Outcome ExchangeFailed(EndState state, const PortName& port);
    // The database may not take events (a file opened read-only, a role
    // without INSERT).
    static Outcome CannotAppend();
    static Outcome StoreFailed(const QString& database, const CDBException& error);
    // The server of the database went away during the download.
    static Outcome ConnectionLost(const QString& database, const QString& loss);
    // Any other failure of the database during the download.
    static Outcome DatabaseError(const QString& error, DbFailure failure);

    Kind GetKind() const { return m_kind; }
    bool IsSuccess() const { return m_kind == Kind::Stored || m_kind == Kind::NothingNew; }
    // The events read and stored; 0 unless Stored.
    int Events() const { return m_events; }

    // The message that tells the outcome; no text for Unfinished, and for
    // DatabaseNotOpened, whose failure was told already.
    const UserMessage& Message() const { return m_message; }
    // Told after the message; they leave the outcome as it is.
    const QList<UserMessage>& Warnings() const { return m_warnings; }
    void AddWarning(const UserMessage& warning) { m_warnings.append(warning); }
    // The failure in words as it was told: the message, or the messages of
    // a database that could not be opened. Empty for success.
    QList<UserMessage> Told() const;

    // Set once the port was opened: the download then ends with a pause,
    // and the list is read again after it.
    bool PortOpened() const { return m_portOpened; }
    void SetPortOpened() { m_portOpened = true; }
    // Whether the list is worth reading again: the port was opened and the
    // database did not fail, which would only meet the same failure again.
    bool RefreshesList() const { return m_portOpened && !m_databaseRaised; }

private:
    Outcome(Kind kind, UserMessage message);
    static Kind DatabaseKind(DbFailure failure);

    Kind m_kind = Kind::Unfinished;
    int m_events = 0;
    UserMessage m_message;
    QList<UserMessage> m_warnings;
    QList<UserMessage> m_told;
    bool m_portOpened = false;
    bool m_databaseRaised = false; // the failure came from the database itself
};

} // namespace download
