#pragma once

#include "db/joinstream.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>
#include <functional>

class CDatabase;

// How the report groups its rows in time: a day, an ISO week (named by its
// Monday) or a calendar month.
enum class ReportPeriod
{
    Day,
    Week,
    Month,
};

// "day", "week" or "month"; false for any other text.
bool ParseReportPeriod(const QString& text, ReportPeriod* period);
// "YYYY-MM-DD" for a day and for a week (its Monday), "YYYY-MM" for a month.
QString PeriodOf(const QString& day, ReportPeriod period);

struct ReportOptions
{
    JoinFilter filter; // the rows of the list counted
    ReportPeriod by = ReportPeriod::Day;
    bool byHour = false; // also count the events by hour of day
    // A server's report shares a range its planner reckons to hold this many
    // events or more with a second connection (see BuildReport).
    qint64 secondConnectionFrom = 200000;
};

// What one group holds. first and last are stored texts "YYYY-MM-DD HH:MM:SS".
struct ReportCounts
{
    qint64 events = 0;
    qint64 button1 = 0;
    QString first;
    QString last;

    void Add(const ReportCounts& other);
};

// One group: a period (empty for a user's total) and the user, as the list
// joins them: a user number with the name of the user who held it at the
// event's date, or without a name (hasUser false) when nobody did.
struct ReportRow
{
    QString period;
    qint32 userNo = 0;
    bool hasUser = false;
    QString name;
    ReportCounts counts;
};

struct Report
{
    // What was counted: the grouping, and the dates of the filter (stored
    // texts, `to` not included; empty where the range is open).
    ReportPeriod by = ReportPeriod::Day;
    QString from;
    QString to;
    QVector<ReportRow> rows;       // by period, then user number, then name
    QVector<ReportRow> userTotals; // by user number, then name
    ReportCounts total;
    std::array<qint64, 24> byHour{}; // local hour of day, when asked for
    bool cancelled = false;
};

// Every period of the report's range in order, also those without events:
// from the period of its first day to that of its last, where the range is
// open from the first or to the last event counted. Empty without events
// and without bounds.
QStringList ReportPeriods(const Report& report);

// The day of the newest event "YYYY-MM-DD", empty without events. Throws
// CDBException.
QString LastEventDay(CDatabase& db);

// Counts the rows of the list the options let through, grouped by period
// and user; an event that two users' periods hold counts once for each, as
// the list shows it twice. The grouping is done by the database, SQLite a
// day of events at a time, a server all at once. Where there are two cores
// a second connection and thread takes half of the work: every other month
// of a file, the later half of a server's long range (in the first
// connection's snapshot). Progress, when given, is called after each piece
// with the share done (0 to 1) and returns false to stop (the report is
// then marked cancelled). Throws CDBException.
Report BuildReport(CDatabase& db, const ReportOptions& options,
                   const std::function<bool(double done)>& progress = {});
