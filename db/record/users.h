#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class CDatabase;

// The rows of table USERS: who held which user number when. An event belongs
// to a period when its date lies strictly between the start and the stop.
// Dates are text "YYYY-MM-DD HH:MM:SS" in local time, compared as text.
struct UserPeriod
{
    qint64 index = 0; // the row's INDEX; 0 for a row not stored yet
    QString name;
    qint32 userNo = 0;
    QString start;
    QString stop;

    friend bool operator==(const UserPeriod&, const UserPeriod&) = default;
};

namespace users {

inline constexpr qint32 kMinUserNo = -1;
inline constexpr qint32 kMaxUserNo = 510;
// The stop of a period that has not ended: later than any date, also as text.
inline constexpr char kOpenEnd[] = "9999-12-31 23:59:59";

// A date, or a date and time, as typed (see datetext::Parse: a day alone is
// its start) as stored; nothing when it is no valid date.
std::optional<QString> ParseDateTime(QStringView text);
bool IsOpenEnd(const QString& stop);

// Every USERS row, by user number, then start, then INDEX. Throws CDBException.
QVector<UserPeriod> Read(const CDatabase& db);

// In the order Read() gives.
void Sort(QVector<UserPeriod>& periods);

// What is wrong with the row; empty when it can be stored.
QStringList Check(const UserPeriod& period);

// Two periods of one user number that share a moment. Allowed (the list then
// shows such an event once for each), but worth telling.
struct Overlap
{
    int first; // positions in the vector, first < second
    int second;
};

// The overlaps of one user number. However many periods overlap each other,
// this holds a few pairs and the counts, never every pair.
struct NumberOverlaps
{
    qint32 userNo = 0;
    QVector<int> periods;   // positions of those that overlap another, ascending
    QVector<Overlap> shown; // the first kShownOverlaps pairs, by start of the later
    qint64 pairs = 0;       // how many pairs overlap in all
};
inline constexpr int kShownOverlaps = 3;

// By user number, only numbers with overlaps. Takes O(n log n) time and O(n)
// memory for n periods, however many pairs overlap.
QVector<NumberOverlaps> FindOverlaps(const QVector<UserPeriod>& periods);
// "user number 3: Anna Kowal (2024-01-01 00:00:00 to 2024-08-01 00:00:00) and Jan ..."
QString DescribeOverlap(const QVector<UserPeriod>& periods, const Overlap& overlap);
// A line for each pair shown and, when pairs are left out, one more: "user
// number 3: and 12 more pairs; 7 periods overlap another".
QStringList DescribeOverlaps(const QVector<UserPeriod>& periods, const NumberOverlaps& overlaps);

// User number userNo passes to name at the moment at: each period of that
// number holding that moment ends there, and the new period starts there and
// ends where the latest of them ended. When nobody held the number, the new
// period lasts until the next period of the number starts, or has no end.
// Changes periods (rows that end, and the new row without an INDEX); returns
// why it cannot be done, or an empty text.
QString HandOver(QVector<UserPeriod>& periods, qint32 userNo, const QString& name,
                 const QString& at);

// A period from the texts of a CSV row or a command line: the user number
// must be whole, an empty end is the open end. *problems tells what is wrong.
UserPeriod PeriodOf(const QString& name, const QString& userNo, const QString& from,
                    const QString& to, QStringList* problems);

struct Changes
{
    QVector<UserPeriod> added;
    QVector<UserPeriod> edited; // by INDEX
    QVector<qint64> removed;    // INDEX

    bool IsEmpty() const { return added.isEmpty() && edited.isEmpty() && removed.isEmpty(); }
};

// From the rows as read to the rows as they are to be: rows without an INDEX
// are added, rows whose INDEX is gone are removed, rows that differ are edited.
Changes Diff(const QVector<UserPeriod>& before, const QVector<UserPeriod>& after);

// Checks every added and edited row, then writes all changes in one
// transaction: all of them or, on any failure (a bad row, a row another
// program has removed meanwhile), none. Throws CDBException with the reason.
void Apply(CDatabase& db, const Changes& changes);

} // namespace users
