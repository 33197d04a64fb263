#include "db/listseek.h"

#include "db/record/database.h"
#include "db/record/preparedquery.h"
#include "db/record/visibletext.h"

#include <QDate>
#include <QDateTime>
#include <QPair>
#include <QSet>
#include <QVariant>
#include <QVector>
#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

namespace {

// The rows of one event are those of the list's join (CZq6Set), in its order.
const QString kJoin =
    QStringLiteral(" FROM [EVENTS] LEFT OUTER JOIN [USERS] ON EVENTS.USER_NO = USERS.USER_NO AND "
                   "EVENTS.DATE > USERS.DATE_START AND EVENTS.DATE < USERS.DATE_STOP");

// A stored date-time as "YYYY-MM-DD HH:MM:SS": SQLite gives the text, which
// another tool may have written with a 'T' or a fraction; a server gives a
// value of its own.
QString dateText(const QVariant& value)
{
    const QString text = value.typeId() == QMetaType::QDateTime
                             ? value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                             : value.toString();
    return text.left(10) + QLatin1Char(' ') + text.mid(11, 8);
}

QVariant single(const CDatabase& db, const QString& sql, const QVariantList& values)
{
    PreparedQuery q(db, sql);
    q.Exec(values);
    QVariant value = q.Next() ? q.Value(0) : QVariant();
    q.Finish();
    return value;
}

QString placeholders(qsizetype n)
{
    QString s;
    for (qsizetype i = 0; i < n; ++i)
        s += i ? QStringLiteral(", ?") : QStringLiteral("?");
    return s;
}

// Up to this many events of the filter's user numbers are read through
// their index and sorted by date; more are found walking the dates.
constexpr qint64 kFewEvents = 4096;

// The filter's conditions as a query of the list's join takes them, and how
// its date is compared. On SQLite a unary + keeps an index from being used,
// so that the one chosen finds the events; a server chooses for itself.
struct Filtered
{
    FilterWhere where;
    QString date = QStringLiteral("[EVENTS].[DATE]");
    // The user number as Find compares it: through its index unless the
    // filter's dates find the events.
    QString userNo = QStringLiteral("EVENTS.USER_NO");
    // The only user numbers that pass, when the filter names them (also
    // through a name): a find of another one is over at once.
    std::optional<QSet<qint32>> userNos;

    QString And() const
    {
        return where.IsEmpty() ? QString()
                               : QStringLiteral(" AND (") + where.sql + QLatin1Char(')');
    }
};

Filtered filteredBy(const CDatabase& db, const FilterTerms& terms, FilterTerms::Drive drive)
{
    Filtered f;
    for (const FilterTerms::Term& t : terms.terms) {
        if (t.kind != FilterTerms::Kind::UserNo)
            continue;
        QSet<qint32> numbers;
        for (const QVariant& n : t.values)
            numbers.insert(n.toInt());
        if (f.userNos)
            f.userNos->intersect(numbers);
        else
            f.userNos = std::move(numbers);
    }
    if (!db.GetDialect().IsSqlite()) {
        f.where = terms.Where();
        return f;
    }
    f.where = terms.Where(drive);
    if (drive != FilterTerms::Drive::Date && drive != FilterTerms::Drive::Any)
        f.date = QStringLiteral("+[EVENTS].[DATE]");
    return f;
}

// How many events the terms of kind find, up to kFewEvents + 1 (SQLite
// only; more otherwise).
qint64 eventsOf(const CDatabase& db, const FilterTerms& terms, FilterTerms::Kind kind)
{
    if (!db.GetDialect().IsSqlite() || !terms.Has(kind))
        return kFewEvents + 1;
    const FilterWhere only = terms.Only(kind);
    return single(db,
                  QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM [EVENTS] WHERE %1 LIMIT %2)")
                      .arg(only.sql)
                      .arg(kFewEvents + 1),
                  only.values)
        .toLongLong();
}

// For Find: the events of the filter's dates when they are few, sorted by
// INDEX; else those of the number or name looked for, walked in INDEX order.
Filtered filteredForFind(const CDatabase& db, const FilterTerms& terms)
{
    if (eventsOf(db, terms, FilterTerms::Kind::Date) > kFewEvents)
        return filteredBy(db, terms, FilterTerms::Drive::Order);
    Filtered f = filteredBy(db, terms, FilterTerms::Drive::Date);
    f.userNo = QStringLiteral("+EVENTS.USER_NO");
    return f;
}

// For Go to Date: the m events of the filter's user numbers, read and sorted,
// when that is fewer than the walk over the dates from the moment on to the
// first that passes, about one in m of the log's n events: m * m <= n.
Filtered filteredByDate(const CDatabase& db, const FilterTerms& terms)
{
    using Drive = FilterTerms::Drive;
    const qint64 m = eventsOf(db, terms, FilterTerms::Kind::UserNo);
    if (m > kFewEvents)
        return filteredBy(db, terms, Drive::Date);
    const qint64 n = single(db,
                            // Each in a statement of its own: one end of the key each, at once.
                            QStringLiteral("SELECT (SELECT max([INDEX]) FROM [EVENTS]) - "
                                           "(SELECT min([INDEX]) FROM [EVENTS]) + 1"),
                            {})
                         .toLongLong();
    return filteredBy(db, terms, m * m <= n ? Drive::UserNo : Drive::Date);
}

// One row of an event: its user period (-1: none) and the event's number.
struct EventRow
{
    qint64 userIndex;
    qint32 userNo;
};

class Finder
{
public:
    // filter: the list's filter, written for the index that finds the events.
    Finder(const CDatabase& db, const ListFind& what, const Filtered& filter)
        : m_db(db), m_what(what), m_filter(filter)
    {
    }

    // Whether anything can match at all; reads the matching periods of a name.
    bool Prepare();
    // The first event after (before) `event` with a matching row.
    std::optional<qint64> NextEvent(qint64 event, bool forward);
    QVector<EventRow> RowsOf(qint64 event);
    bool Matches(const EventRow& row) const
    {
        return m_what.byNumber ? row.userNo == m_what.userNo : m_periods.contains(row.userIndex);
    }
    // The first (last) matching row of the event within [lo, hi].
    std::optional<int> RowIn(qint64 event, bool forward, qint64 lo, qint64 hi);

private:
    // NextEvent() for a user number, or for periods first .. first + count - 1.
    std::optional<qint64> NextInPeriods(qint64 event, bool forward, qsizetype first,
                                        qsizetype count);

    const CDatabase& m_db;
    const ListFind& m_what;
    const Filtered& m_filter;

    QSet<qint64> m_periods;
    QVector<QPair<qint64, qint32>> m_matching; // INDEX and number of each period
};

// Periods looked for in one statement, each a bound value, within what every
// backend takes.
constexpr qsizetype kPeriodsAtOnce = 500;

bool Finder::Prepare()
{
    const auto passes = [this](qint32 userNo) {
        return !m_filter.userNos || m_filter.userNos->contains(userNo);
    };
    if (m_what.byNumber)
        return passes(m_what.userNo);
    if (m_what.text.isEmpty())
        return false;
    PreparedQuery q(m_db, QStringLiteral("SELECT [INDEX], NAME, USER_NO FROM USERS"));
    q.Exec();
    while (q.Next()) {
        const QString name = q.Value(1).toString();
        if ((!VisibleText(name).contains(m_what.text, Qt::CaseInsensitive) &&
             !name.contains(m_what.text, Qt::CaseInsensitive)) ||
            !passes(q.Value(2).toInt()))
            continue;
        m_periods.insert(q.Value(0).toLongLong());
        m_matching.append({q.Value(0).toLongLong(), q.Value(2).toInt()});
    }
    return !m_periods.isEmpty();
}

std::optional<qint64> Finder::NextEvent(qint64 event, bool forward)
{
    if (m_what.byNumber)
        return NextInPeriods(event, forward, 0, 0);
    // Many matching periods are looked for a share at a time; the nearest
    // event of all shares is the one.
    std::optional<qint64> nearest;
    for (qsizetype first = 0; first < m_matching.size(); first += kPeriodsAtOnce) {
        const std::optional<qint64> found = NextInPeriods(
            event, forward, first, std::min(kPeriodsAtOnce, m_matching.size() - first));
        if (found && (!nearest || (forward ? *found < *nearest : *found > *nearest)))
            nearest = found;
    }
    return nearest;
}

std::optional<qint64> Finder::NextInPeriods(qint64 event, bool forward, qsizetype first,
                                            qsizetype count)
{
    const bool filtered = !m_filter.where.IsEmpty();
    QString sql = QStringLiteral("SELECT EVENTS.[INDEX] FROM EVENTS");
    if (filtered)
        sql = QStringLiteral("SELECT EVENTS.[INDEX]") + kJoin;
    sql += forward ? QStringLiteral(" WHERE EVENTS.[INDEX] > ?")
                   : QStringLiteral(" WHERE EVENTS.[INDEX] < ?");
    QVariantList values{event};
    if (m_what.byNumber) {
        sql += QStringLiteral(" AND %1 = ?").arg(m_filter.userNo);
        values << m_what.userNo;
    } else {
        QVariantList periods;
        QVariantList numbers;
        QSet<qint32> seen;
        for (qsizetype i = first; i < first + count; ++i) {
            periods << m_matching.at(i).first;
            if (!seen.contains(m_matching.at(i).second)) {
                seen.insert(m_matching.at(i).second);
                numbers << m_matching.at(i).second;
            }
        }
        // Walked in INDEX order from the event on; the number is a cheap
        // test before the period's. Filtered, the row of the join that the
        // filter lets through must be the one of a matching period (the +
        // keeps the events, not the periods, driving the walk).
        const QString period =
            filtered ? QStringLiteral("+USERS.[INDEX] IN (%1)")
                     : QStringLiteral("EXISTS (SELECT 1 FROM USERS WHERE USERS.USER_NO = "
                                      "EVENTS.USER_NO AND EVENTS.DATE > USERS.DATE_START AND "
                                      "EVENTS.DATE < USERS.DATE_STOP AND USERS.[INDEX] IN (%1))");
        sql += QStringLiteral(" AND %1 IN (%2) AND ")
                   .arg(m_filter.userNo, placeholders(numbers.size())) +
               period.arg(placeholders(periods.size()));
        values << numbers << periods;
    }
    sql += m_filter.And();
    values += m_filter.where.values;
    sql += forward ? QStringLiteral(" ORDER BY EVENTS.[INDEX] LIMIT 1")
                   : QStringLiteral(" ORDER BY EVENTS.[INDEX] DESC LIMIT 1");
    const QVariant found = single(m_db, sql, values);
    if (found.isNull())
        return std::nullopt;
    return found.toLongLong();
}

QVector<EventRow> Finder::RowsOf(qint64 event)
{
    PreparedQuery q(m_db, QStringLiteral("SELECT USERS.[INDEX], EVENTS.USER_NO") + kJoin +
                              QStringLiteral(" WHERE EVENTS.[INDEX] = ?") + m_filter.And() +
                              QStringLiteral(" ORDER BY USERS.[INDEX]"));
    q.Exec(QVariantList{event} + m_filter.where.values);
    QVector<EventRow> rows;
    while (q.Next())
        rows.append({q.IsNull(0) ? -1 : q.Value(0).toLongLong(), q.Value(1).toInt()});
    return rows;
}

std::optional<int> Finder::RowIn(qint64 event, bool forward, qint64 lo, qint64 hi)
{
    const QVector<EventRow> rows = RowsOf(event);
    hi = std::min<qint64>(hi, rows.size() - 1);
    lo = std::max<qint64>(lo, 0);
    for (qint64 i = forward ? lo : hi; forward ? i <= hi : i >= lo; i += forward ? 1 : -1) {
        if (Matches(rows.at(i)))
            return int(i);
    }
    return std::nullopt;
}

} // namespace

std::optional<qint64> EventAtDate(const CDatabase& db, const QString& moment,
                                  const EventFilter& filter)
{
    // The filter's own dates narrow the range to one lower and one upper
    // bound, so that the DATE index is read over that range alone.
    EventFilter undated = filter;
    undated.from.clear();
    undated.to.clear();
    const Filtered f = filteredByDate(db, ResolveFilterTerms(db, undated));
    const QString lower = std::max(moment, filter.from);
    QString before;
    QVariantList beforeValues;
    if (!filter.to.isEmpty()) {
        before = QStringLiteral(" AND ") + f.date + QStringLiteral(" < ?");
        beforeValues << filter.to;
    }
    const QVariant earliest =
        filter.IsEmpty()
            ? single(db, QStringLiteral("SELECT MIN(DATE) FROM EVENTS WHERE DATE >= ?"), {moment})
            : single(db,
                     QStringLiteral("SELECT EVENTS.DATE") + kJoin + QStringLiteral(" WHERE ") +
                         f.date + QStringLiteral(" >= ?") + before + f.And() +
                         QStringLiteral(" ORDER BY ") + f.date + QStringLiteral(" LIMIT 1"),
                     QVariantList{lower} + beforeValues + f.where.values);
    if (earliest.isNull())
        return std::nullopt;
    const QString first = dateText(earliest);
    const QDate day = QDate::fromString(first.left(10), Qt::ISODate);
    // A calendar day later, the time of day kept, no time zone involved.
    const QString bound =
        day.isValid() ? day.addDays(1).toString(Qt::ISODate) + first.mid(10) : first;
    // "+ 0": the minimum is taken over the DATE index's range, not by walking
    // the table in INDEX order until a row falls into the range.
    if (filter.IsEmpty()) {
        const QVariant event = single(
            db, QStringLiteral("SELECT MIN([INDEX] + 0) FROM EVENTS WHERE DATE >= ? AND DATE <= ?"),
            {moment, bound});
        return event.isNull() ? std::nullopt : std::optional<qint64>(event.toLongLong());
    }
    const bool toFirst = !filter.to.isEmpty() && filter.to <= bound;
    const QVariant event =
        single(db,
               QStringLiteral("SELECT MIN(EVENTS.[INDEX] + 0)") + kJoin +
                   QStringLiteral(" WHERE ") + f.date + QStringLiteral(" >= ? AND ") + f.date +
                   (toFirst ? QStringLiteral(" < ?") : QStringLiteral(" <= ?")) + f.And(),
               QVariantList{lower, toFirst ? filter.to : bound} + f.where.values);
    return event.isNull() ? std::nullopt : std::optional<qint64>(event.toLongLong());
}

QString LastEventDate(const CDatabase& db, const EventFilter& filter)
{
    const Filtered f = filteredByDate(db, ResolveFilterTerms(db, filter));
    const QVariant last =
        f.where.IsEmpty()
            ? single(db, QStringLiteral("SELECT MAX(DATE) FROM EVENTS"), {})
            : single(db,
                     QStringLiteral("SELECT EVENTS.DATE") + kJoin + QStringLiteral(" WHERE ") +
                         f.where.sql + QStringLiteral(" ORDER BY ") + f.date +
                         QStringLiteral(" DESC LIMIT 1"),
                     f.where.values);
    return last.isNull() ? QString() : dateText(last);
}

FindOutcome FindInList(const CDatabase& db, const ListFind& what, std::optional<JoinMark> from,
                       bool forward, bool inclusive, const EventFilter& filter)
{
    const Filtered f = filteredForFind(db, ResolveFilterTerms(db, filter));
    Finder finder(db, what, f);
    if (!finder.Prepare())
        return {};
    constexpr qint64 kNone = std::numeric_limits<qint64>::max();
    const auto firstFrom = [&](qint64 event, bool wrapped) -> FindOutcome {
        const std::optional<qint64> next = finder.NextEvent(event, forward);
        if (!next)
            return {};
        const std::optional<int> row = finder.RowIn(*next, forward, 0, kNone);
        if (!row) // changed meanwhile by another program
            return {};
        return {true, wrapped, {*next, *row}};
    };
    const qint64 outside =
        forward ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    if (!from)
        return firstFrom(outside, false);

    const JoinMark at = *from;
    const int step = inclusive ? 0 : 1;
    if (const std::optional<int> row =
            forward ? finder.RowIn(at.eventIndex, true, at.skip + step, kNone)
                    : finder.RowIn(at.eventIndex, false, 0, at.skip - step))
        return {true, false, {at.eventIndex, *row}};
    if (FindOutcome later = firstFrom(at.eventIndex, false); later.found)
        return later;
    // Round from the other end, up to the starting row again.
    FindOutcome round = firstFrom(outside, true);
    if (!round.found)
        return {};
    if ((forward && round.at.eventIndex < at.eventIndex) ||
        (!forward && round.at.eventIndex > at.eventIndex))
        return round;
    if (round.at.eventIndex != at.eventIndex)
        return {};
    if (const std::optional<int> row =
            forward ? finder.RowIn(at.eventIndex, true, 0, at.skip + step - 1)
                    : finder.RowIn(at.eventIndex, false, at.skip - step + 1, kNone))
        return {true, true, {at.eventIndex, *row}};
    return {};
}
