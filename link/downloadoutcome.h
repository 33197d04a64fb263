#pragma once

#include "db/backend/dbexception.h"
#include "db/messages.h"
#include "link/frameexchange.h"

#include <QList>
#include <QString>

class PortName;

namespace download {

// What a download found, shown by the thread that started it.
struct Outcome
{
    UserMessage message; // nothing is shown when the text is empty
    // Shown after the message; they leave the outcome as it is.
    QList<UserMessage> warnings;
    bool portOpened = false;
    bool databaseFailed = false;
    DbFailure databaseFailure = DbFailure::Other; // what kind, when databaseFailed
    bool stored = false;                          // the events were committed
};

inline const QString kError = QStringLiteral("Error");
inline const QString kOk = QStringLiteral("OK");
inline const QString kWarning = QStringLiteral("Warning");

// The messages of a download's end, each naming the port or the database
// (its location as shown) it concerns.
UserMessage AnotherReadMessage(const QString& database);
UserMessage PortOpenFailure(const QString& reason);
UserMessage NothingNewMessage();
UserMessage StoredMessage(int count);
// The events read were committed, but the database holds fewer rows of them
// (a trigger dropped some).
UserMessage DroppedWarning(int read, qint64 stored);
// The download did not meet the newest stored event before the end of the
// receiver's log (see FrameExchange::MissedNewestStored).
UserMessage NewestStoredMissedWarning(qint64 stored);
// The failure that ended the exchange; state is neither Running nor
// NoMoreEvents.
UserMessage ExchangeFailure(EndState state, const PortName& port);
UserMessage CannotAppendMessage();
UserMessage StoreFailure(const QString& database, const QString& error);
UserMessage ConnectionLostMessage(const QString& database, const QString& loss);

} // namespace download
