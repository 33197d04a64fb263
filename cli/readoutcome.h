#pragma once

#include "db/messages.h"

#include <QList>
#include <QString>

// What one read came to, told from the messages it showed.
struct ReadOutcome
{
    enum Kind
    {
        Downloaded,
        NothingNew,
        Busy,     // the database or the port is held by another read or program
        TryAgain, // the receiver or the line failed this time
        Failed,   // a fault that lasts until someone mends it
    };
    Kind kind = Failed;
    int events = 0;
    QString text; // the outcome in words, on one line

    int ExitCode(bool nothingNewHasItsOwnCode) const;
};

ReadOutcome ClassifyRead(const QList<UserMessage>& messages);

// "zqreader-cli read: DB from PORT: TEXT", the one line a log gets per read.
QString LogLine(const QString& db, const QString& port, const ReadOutcome& outcome);
