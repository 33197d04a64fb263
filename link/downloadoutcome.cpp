// The messages a download ends with.

#include "link/downloadoutcome.h"

#include "link/portname.h"

namespace download {

namespace {

const QString kCantAdd = QStringLiteral("Can't add events to the database");

UserMessage taskModal(const QString& text, const QString& caption, const QString& detail = {})
{
    return {text, caption, detail, true};
}

} // namespace

UserMessage AnotherReadMessage(const QString& database)
{
    return {QStringLiteral("Another read is under way"), kError,
            QStringLiteral("Another program is reading events into \"%1\".").arg(database), false};
}

UserMessage PortOpenFailure(const QString& reason)
{
    return {QStringLiteral("Error initializing serial port"), kError, reason, false};
}

UserMessage NothingNewMessage()
{
    return taskModal(QStringLiteral("There are no more events to read"), kOk);
}

UserMessage StoredMessage(int count)
{
    return taskModal(QString::asprintf("%s %d", "Number of read events: ", count), kOk);
}

UserMessage DroppedWarning(int read, qint64 stored)
{
    return {QStringLiteral("Only %1 of the %2 events read were stored: the database dropped %3 "
                           "of them.")
                .arg(stored)
                .arg(read)
                .arg(read - stored),
            kWarning,
            {},
            false};
}

UserMessage NewestStoredMissedWarning(qint64 stored)
{
    return {
        QStringLiteral("The newest stored event was not found on the receiver: %1 stored, "
                       "some may be stored twice.")
            .arg(stored == 1 ? QStringLiteral("1 event") : QStringLiteral("%1 events").arg(stored)),
        kWarning,
        {},
        false};
}

UserMessage ExchangeFailure(EndState state, const PortName& port)
{
    const QString shown = port.Shown();
    switch (state) {
    case EndState::Running:
    case EndState::NoMoreEvents:
        break;
    case EndState::PortFailure:
        return taskModal(QStringLiteral("Can't read from the serial port"), kError,
                         QStringLiteral("Reading from or writing to %1 failed.").arg(shown));
    case EndState::TimedOut:
        return taskModal(QStringLiteral("Out of time"), kError,
                         QStringLiteral("The receiver on %1 stopped answering.").arg(shown));
    case EndState::ReceiverError:
        return taskModal(
            QStringLiteral("Communication error"), kError,
            QStringLiteral("The receiver on %1 reported an error or sent a broken frame.")
                .arg(shown));
    case EndState::NeverQuiet:
        return taskModal(QStringLiteral("Communication error"), kError,
                         QStringLiteral("Bytes kept arriving from %1 without being asked for: is "
                                        "the receiver on this port?")
                             .arg(shown));
    }
    return {};
}

UserMessage CannotAppendMessage()
{
    return taskModal(kCantAdd, kError);
}

UserMessage StoreFailure(const QString& database, const QString& error)
{
    return taskModal(kCantAdd, kError,
                     QStringLiteral("The events could not be stored in \"%1\": %2. Nothing of this "
                                    "download was stored; the events stay on the receiver for the "
                                    "next download.")
                         .arg(database, error));
}

UserMessage ConnectionLostMessage(const QString& database, const QString& loss)
{
    return taskModal(kCantAdd, kError,
                     QStringLiteral("The connection to the database server of \"%1\" was lost: "
                                    "%2. Nothing of this download was stored; the events stay "
                                    "on the receiver for the next download.")
                         .arg(database, loss));
}

} // namespace download
