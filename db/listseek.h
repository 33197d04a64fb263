#pragma once

#include "db/eventfilter.h"
#include "db/joinmarks.h"

#include <QString>
#include <optional>

class CDatabase;

// Go to Date and Find on the joined list, answered by the database through
// its indexes: the rows are never walked here. A place in the list is a
// JoinMark: the event and the row among the event's rows.

// The event Go to Date shows for a moment ("YYYY-MM-DD HH:MM:SS", local
// time): of the events dated from that moment up to one day after the
// earliest of them, the one listed first (smallest INDEX). While dates rise
// with INDEX this is the first event in the list dated at or after the
// moment. When they do not (a clock set back or forward, downloads from
// several receivers), the day bounds what is looked at: an event dated years
// ahead by a wrong clock earlier in the list is not taken for it, and the
// answer costs two short reads of the DATE index however long the log is.
// Nothing when no event is dated at or after the moment.
//
// With a filter, only the events with a row the filter lets through count,
// as the filtered list shows them. Throws CDBException.
std::optional<qint64> EventAtDate(const CDatabase& db, const QString& moment,
                                  const EventFilter& filter = {});

// The newest date stored (of the events filter lets through), as text; empty
// when there are none.
QString LastEventDate(const CDatabase& db, const EventFilter& filter = {});

// What Find looks for: a user number, or a text contained in the user name
// as the list shows it, letters in either case.
struct ListFind
{
    bool byNumber = false;
    qint32 userNo = 0;
    QString text;
};

struct FindOutcome
{
    bool found = false;
    bool wrapped = false; // passed the end (or the start) of the list
    JoinMark at;
};

// The next (or previous) row that matches, from `from` on: after it, or at it
// too when `inclusive`; from the start (the end) when from is empty. Wraps
// once around the list. A user number is looked up in EVENTS from the event
// on; a name first in USERS, then among the events of the matching periods.
// With a filter only the rows it lets through are looked at, and a place
// counts the event's rows as the filtered list shows them. Throws
// CDBException.
FindOutcome FindInList(const CDatabase& db, const ListFind& what, std::optional<JoinMark> from,
                       bool forward, bool inclusive = false, const EventFilter& filter = {});
