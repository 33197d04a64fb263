#include "formats/reportquery.h"

#include "db/backend/connection.h"
#include "db/backend/dbexception.h"
#include "db/location/location.h"
#include "db/record/ctime.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"
#include "formats/reportsnapshot.h"
#include "formats/reportusers.h"

#include <QDate>
#include <QHash>
#include <QHashFunctions>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace {

const QString kDayFormat = QStringLiteral("yyyy-MM-dd");

// The SQL of the pieces that differ: SQLite (also behind ODBC) keeps dates as
// text "YYYY-MM-DD HH:MM:SS", PostgreSQL as timestamps.
struct DateSql
{
    QString dayKey; // the day of EVENTS.DATE, to group by
    QString day;    // that day as "YYYY-MM-DD"
    QString hour;   // its hour as "HH"
    QString text;   // %1 as "YYYY-MM-DD HH:MM:SS"
};

DateSql dateSqlFor(const CDatabase& db)
{
    if (db.GetDialect().GetBackend() == Dialect::Backend::Postgres)
        // Grouped by the date, which is cheaper than by its text, and the
        // text made once a group.
        return {QStringLiteral("CAST(EVENTS.DATE AS date)"),
                QStringLiteral("to_char(CAST(EVENTS.DATE AS date), 'YYYY-MM-DD')"),
                QStringLiteral("to_char(EVENTS.DATE, 'HH24')"),
                QStringLiteral("to_char(%1, 'YYYY-MM-DD HH24:MI:SS')")};
    return {QStringLiteral("substr(EVENTS.DATE, 1, 10)"),
            QStringLiteral("substr(EVENTS.DATE, 1, 10)"),
            QStringLiteral("substr(EVENTS.DATE, 12, 2)"), QStringLiteral("%1")};
}

struct Span
{
    QString from; // empty: unbounded
    QString to;
    QDate start; // the first day of a month's piece, also when from is empty
    QDate end;   // the first day after it
};

const QString kDayStart = QStringLiteral("yyyy-MM-dd 00:00:00");

// A month's piece as day-long pieces (the month's own bounds kept at its
// ends): SQLite groups a day's events by user number in a small sort, where
// a month's take a sort of them all.
QVector<Span> daysOf(const Span& month)
{
    if (!month.start.isValid() || !month.end.isValid())
        return {month};
    QVector<Span> days;
    for (QDate day = month.start; day < month.end; day = day.addDays(1)) {
        const QDate next = day.addDays(1);
        days.append({day == month.start ? month.from : day.toString(kDayStart),
                     next == month.end ? month.to : next.toString(kDayStart), day, next});
    }
    return days;
}

// Month-long pieces of the range that holds events, so that a long report
// can tell its progress and stop between them. One unbounded piece when the
// stored dates are not in the usual form.
QVector<Span> monthsOf(CDatabase& db, const DateSql& dates, const JoinFilter& filter)
{
    // Each bound in a statement of its own: SQLite reads a lone min() or max()
    // from the index at once, both together by a walk over the range.
    QString where = QStringLiteral(" FROM [EVENTS] WHERE 1 = 1");
    QVariantList values;
    if (!filter.from.isEmpty()) {
        where += QStringLiteral(" AND [EVENTS].[DATE] >= ?");
        values.append(filter.from);
    }
    if (!filter.to.isEmpty()) {
        where += QStringLiteral(" AND [EVENTS].[DATE] < ?");
        values.append(filter.to);
    }
    PreparedQuery q(
        db, QStringLiteral("SELECT (SELECT ") + dates.text.arg(QStringLiteral("min(EVENTS.DATE)")) +
                where + QStringLiteral("), (SELECT ") +
                dates.text.arg(QStringLiteral("max(EVENTS.DATE)")) + where + QStringLiteral(")"));
    q.Exec(values + values);
    if (!q.Next() || q.IsNull(0))
        return {};
    const QDate first = QDate::fromString(q.Value(0).toString().left(10), kDayFormat);
    const QDate last = QDate::fromString(q.Value(1).toString().left(10), kDayFormat);
    q.Finish();
    if (!first.isValid() || !last.isValid() || last < first)
        return {Span{}};
    QVector<Span> months;
    for (QDate month(first.year(), first.month(), 1); month <= last; month = month.addMonths(1)) {
        months.append({month.toString(kDayStart), month.addMonths(1).toString(kDayStart), month,
                       month.addMonths(1)});
    }
    months.front().from.clear();
    months.back().to.clear();
    return months;
}

struct PieceSql
{
    QString where;
    QVariantList values;
};

// The filter's condition within one piece of the range: the piece's bounds
// replace the filter's own dates (they lie within them), so that the date
// index is read for that piece alone; the other terms were resolved once. On
// a file the events are found through the index of the dates or of the user
// numbers, whichever finds fewer in the piece.
PieceSql statementFor(const CDatabase& db, const JoinFilter& filter, const FilterTerms& others,
                      const Span& span)
{
    QString from = filter.from;
    QString to = filter.to;
    if (!span.from.isEmpty())
        from = std::max(from, span.from);
    if (!span.to.isEmpty())
        to = to.isEmpty() ? span.to : std::min(to, span.to);
    FilterTerms terms = DateTerms(from, to);
    terms.terms += others.terms;
    const FilterWhere w = terms.Where(FewerEventsDrive(db, terms));
    PieceSql s{QStringLiteral(" WHERE 1 = 1"), w.values};
    if (!w.IsEmpty())
        s.where += QStringLiteral(" AND ") + w.sql;
    return s;
}

// The rows of one statement, their values as the backend holds them.
class Rows
{
public:
    Rows(CDatabase& db, const QString& sql, const QVariantList& values) : m_query(db, sql)
    {
        m_query.Exec(values);
    }

    bool Next() { return m_query.Next(); }
    bool IsText(int column) const { return m_query.Type(column) == ValueType::Text; }
    bool IsInteger(int column) const { return m_query.Type(column) == ValueType::Integer; }
    bool IsNull(int column) const { return m_query.IsNull(column); }
    QString Text(int column) const { return m_query.Text(column); }
    qint64 Integer(int column) const { return m_query.Int64(column); }

private:
    PreparedQuery m_query;
};

using Key = std::tuple<QString, qint32, bool, QString>;

// The order of the rows, each text compared once (the tuple's own order
// compares each twice); some hundred thousand groups a year.
struct KeyLess
{
    bool operator()(const Key& a, const Key& b) const
    {
        if (const int c = std::get<0>(a).compare(std::get<0>(b)))
            return c < 0;
        if (std::get<1>(a) != std::get<1>(b))
            return std::get<1>(a) < std::get<1>(b);
        if (std::get<2>(a) != std::get<2>(b))
            return std::get<2>(a) < std::get<2>(b);
        return std::get<3>(a) < std::get<3>(b);
    }
};

ReportRow rowOf(const Key& key, const ReportCounts& counts)
{
    return {std::get<0>(key), std::get<1>(key), std::get<2>(key), std::get<3>(key), counts};
}

struct KeyHash
{
    size_t operator()(const Key& k) const
    {
        return qHashMulti(0, std::get<0>(k), std::get<1>(k), int(std::get<2>(k)), std::get<3>(k));
    }
};

// Hashed while counting (a year holds some hundred thousand groups, each
// looked up once a row), put in order once at the end.
using Periods = std::unordered_map<Key, ReportCounts, KeyHash>;
using OrderedPeriods = std::map<Key, ReportCounts, KeyLess>;
using Hours = std::array<qint64, 24>;

// The events of one day and user number, as the first statement groups them.
struct Group
{
    QString day;
    QString first;
    QString last;
    qint64 userNo = 0;
};

// Groups per statement when they are counted again through the join.
constexpr qsizetype kGroupsPerStatement = 250;

// The counting of a report's pieces. Without a name in the filter the
// events are grouped by day and user number alone, through the date index,
// and each group is given the users whose periods hold it in whole; only the
// few groups where a period starts or ends (a hand-over) are counted again
// through the join, as the list shows them. A name refers to the users, so
// it is counted through the join throughout.
class ReportQuery
{
public:
    ReportQuery(CDatabase& db, const ReportOptions& options)
        : m_db(db), m_options(options), m_dates(dateSqlFor(db)), m_join(JoinSqlFor(db, {}).from)
    {
        // The user numbers and the button, the same conditions as the list's;
        // the dates come with each piece.
        JoinFilter undated = options.filter;
        undated.from.clear();
        undated.to.clear();
        m_others = ResolveFilterTerms(db, undated);
        m_othersByDate = m_others.Where(FilterTerms::Drive::Date);
        const bool server = db.GetDialect().GetBackend() == Dialect::Backend::Postgres;
        m_groupsFirst = options.filter.name.isEmpty() && (server || db.GetDialect().IsSqlite()) &&
                        m_users.Read(db);
    }

    const DateSql& Dates() const { return m_dates; }

    void Count(const Span& span, Periods& periods, Hours& hours)
    {
        const PieceSql s = statementFor(m_db, m_options.filter, m_others, span);
        if (!m_groupsFirst) {
            countJoined(s, periods);
            if (m_options.byHour)
                countHours(QStringLiteral("count(*)"), m_join, s, hours);
            return;
        }
        QVector<Group> inexact; // counted again through the join
        QVector<Group> shared;  // also by hour: events of two users or more
        QVector<Grouped> groups;
        if (m_db.GetDialect().GetBackend() == Dialect::Backend::Postgres) {
            readGroups(s, groups);
        } else {
            for (const Span& day : daysOf(span)) {
                const PieceSql d = statementFor(m_db, m_options.filter, m_others, day);
                if (day.from.isEmpty() || day.to.isEmpty() || !readDay(d, groups))
                    readGroups(d, groups);
            }
        }
        QString period;
        QString periodDay;
        for (const Grouped& g : groups) {
            const Group& group = g.group;
            const ReportCounts& counts = g.counts;
            if (group.day != periodDay || period.isNull()) {
                periodDay = group.day;
                period = PeriodOf(group.day, m_options.by);
            }
            const qint32 userNo = qint32(group.userNo);
            // Without a date or a whole number the join matches nobody.
            if (!g.wholeNumber || !g.dated) {
                periods[Key(period, userNo, false, QString())].Add(counts);
                continue;
            }
            const auto holding =
                g.textDates ? m_users.Holding(group.userNo, group.first, group.last) : std::nullopt;
            if (!holding) {
                inexact.append(group);
                shared.append(group);
                continue;
            }
            if (holding->isEmpty())
                periods[Key(period, userNo, false, QString())].Add(counts);
            for (const ReportUsers::User* user : *holding)
                periods[Key(period, userNo, user->hasName, user->hasName ? user->name : QString())]
                    .Add(counts);
            if (holding->size() > 1)
                shared.append(group);
        }
        for (qsizetype i = 0; i < inexact.size(); i += kGroupsPerStatement)
            countJoined(only(s, inexact.mid(i, kGroupsPerStatement)), periods);
        if (!m_options.byHour)
            return;
        // Each event once, then once more for each further user it has.
        countHours(QStringLiteral("count(*)"), QStringLiteral("[EVENTS]"), s, hours);
        for (qsizetype i = 0; i < shared.size(); i += kGroupsPerStatement)
            countHours(QStringLiteral("count(*) - count(DISTINCT [EVENTS].[INDEX])"), m_join,
                       only(s, shared.mid(i, kGroupsPerStatement)), hours);
    }

private:
    // A group of the first statement, as read.
    struct Grouped
    {
        Group group;
        ReportCounts counts;
        bool wholeNumber = true; // the user number an integer
        bool dated = true;       // a date in the group
        bool textDates = true;   // its dates stored as text
    };

    // The events of s grouped by day and user number.
    void readGroups(const PieceSql& s, QVector<Grouped>& groups)
    {
        Rows q(m_db,
               QStringLiteral("SELECT ") + m_dates.day + QStringLiteral(", EVENTS.USER_NO, ") +
                   countsSql() + QStringLiteral(" FROM [EVENTS]") + s.where +
                   QStringLiteral(" GROUP BY ") + m_dates.dayKey +
                   QStringLiteral(", EVENTS.USER_NO"),
               s.values);
        while (q.Next()) {
            const Group group{q.Text(0), q.Text(4), q.Text(5), q.Integer(1)};
            groups.append({group,
                           {q.Integer(2), q.Integer(3), group.first, group.last},
                           q.IsInteger(1),
                           !q.IsNull(4),
                           q.IsText(4)});
        }
    }

    // The events of a day-long piece of a SQLite file grouped by user number
    // alone, which sorts less than by day too. Its bounds are texts, so its
    // dates are texts; a group whose first and last date share their day has
    // only dates of that day in between. False, nothing added, when a group
    // spans days (dates not in the usual form): then the day is grouped by
    // its texts.
    bool readDay(const PieceSql& s, QVector<Grouped>& groups)
    {
        const qsizetype before = groups.size();
        Rows q(m_db,
               QStringLiteral("SELECT EVENTS.USER_NO, ") + countsSql() +
                   QStringLiteral(" FROM [EVENTS]") + s.where +
                   QStringLiteral(" GROUP BY EVENTS.USER_NO"),
               s.values);
        while (q.Next()) {
            const QString first = q.Text(3);
            const QString last = q.Text(4);
            if (!q.IsText(3) || !q.IsText(4) || first.size() < 10 ||
                QStringView(first).left(10) != QStringView(last).left(10)) {
                groups.resize(before);
                return false;
            }
            groups.append({{first.left(10), first, last, q.Integer(0)},
                           {q.Integer(1), q.Integer(2), first, last},
                           q.IsInteger(0),
                           true,
                           true});
        }
        return true;
    }

    QString countsSql() const
    {
        return QStringLiteral("count(*), count(CASE WHEN EVENTS.BUTTON = '1' THEN 1 END), ") +
               m_dates.text.arg(QStringLiteral("min(EVENTS.DATE)")) + QStringLiteral(", ") +
               m_dates.text.arg(QStringLiteral("max(EVENTS.DATE)"));
    }

    // The rows of s that are the events of groups.
    PieceSql only(const PieceSql& s, const QVector<Group>& groups) const
    {
        const bool server = m_db.GetDialect().GetBackend() == Dialect::Backend::Postgres;
        // SQLite reads each group's dates through the date index (not all
        // events of the piece, nor of the number): its bounds lie within
        // the piece's.
        PieceSql r = server ? s : PieceSql{QStringLiteral(" WHERE 1 = 1"), {}};
        if (!server && !m_othersByDate.IsEmpty()) {
            r.where += QStringLiteral(" AND ") + m_othersByDate.sql;
            r.values = m_othersByDate.values;
        }
        QStringList terms;
        for (const Group& g : groups) {
            if (server) {
                // The day's bounds: the texts of first and last drop any
                // fraction of a second.
                const QDate day = QDate::fromString(g.day, kDayFormat);
                terms << QStringLiteral("(EVENTS.DATE >= ? AND EVENTS.DATE < ? AND "
                                        "EVENTS.USER_NO = ?)");
                r.values << day.toString(QStringLiteral("yyyy-MM-dd 00:00:00"))
                         << day.addDays(1).toString(QStringLiteral("yyyy-MM-dd 00:00:00"));
            } else {
                // The day as the group has it, whatever the type of its dates;
                // first and last let the date index find them.
                terms << QStringLiteral("(substr(EVENTS.DATE, 1, 10) = ? AND EVENTS.DATE >= ? "
                                        "AND EVENTS.DATE <= ? AND +EVENTS.USER_NO = ?)");
                r.values << g.day << g.first << g.last;
            }
            r.values << g.userNo;
        }
        r.where += QStringLiteral(" AND (") + terms.join(QStringLiteral(" OR ")) + QLatin1Char(')');
        return r;
    }

    // Grouped by the user's row rather than by its name, which is read once
    // for its row (m_names): neither the database's grouping nor the groups
    // read hold a copy of a long name for every group.
    void countJoined(const PieceSql& s, Periods& periods)
    {
        struct Counted
        {
            QString day;
            qint32 userNo;
            std::optional<qint64> user; // USERS.INDEX
            ReportCounts counts;
        };
        QVector<Counted> groups;
        QList<qint64> users;
        {
            Rows q(m_db,
                   QStringLiteral("SELECT ") + m_dates.day +
                       QStringLiteral(", EVENTS.USER_NO, USERS.[INDEX], ") + countsSql() +
                       QStringLiteral(" FROM ") + m_join + s.where + QStringLiteral(" GROUP BY ") +
                       m_dates.dayKey + QStringLiteral(", EVENTS.USER_NO, USERS.[INDEX]"),
                   s.values);
            while (q.Next()) {
                Counted c{q.Text(0), qint32(q.Integer(1)), std::nullopt,
                          ReportCounts{q.Integer(3), q.Integer(4), q.Text(5), q.Text(6)}};
                if (!q.IsNull(2)) {
                    c.user = q.Integer(2);
                    users.append(*c.user);
                }
                groups.append(std::move(c));
            }
        }
        m_names.Read(m_db, users);
        for (const Counted& c : std::as_const(groups)) {
            const UserNames::Name* name = c.user ? &m_names.Of(*c.user) : nullptr;
            const bool hasUser = name && !name->isNull;
            periods[Key(PeriodOf(c.day, m_options.by), c.userNo, hasUser,
                        hasUser ? name->text : QString())]
                .Add(c.counts);
        }
    }

    void countHours(const QString& count, const QString& from, const PieceSql& s, Hours& hours)
    {
        Rows h(m_db,
               QStringLiteral("SELECT ") + m_dates.hour + QStringLiteral(", ") + count +
                   QStringLiteral(" FROM ") + from + s.where + QStringLiteral(" GROUP BY 1"),
               s.values);
        while (h.Next()) {
            bool ok = false;
            const int hour = h.Text(0).toInt(&ok);
            if (ok && hour >= 0 && hour < 24)
                hours[size_t(hour)] += h.Integer(1);
        }
    }

    CDatabase& m_db;
    const ReportOptions& m_options;
    const DateSql m_dates;
    const QString m_join;
    FilterTerms m_others;
    FilterWhere m_othersByDate; // the same, found through the date index
    ReportUsers m_users;
    UserNames m_names;
    bool m_groupsFirst = false;
};

// A period as a number that sorts as its text does: the digits of
// "YYYY-MM-DD" or "YYYY-MM"; -1 for any other text.
qint64 periodNumber(const QString& period)
{
    if (period.size() != 10 && period.size() != 7)
        return -1;
    qint64 n = 0;
    for (qsizetype i = 0; i < period.size(); ++i) {
        const char16_t c = period.at(i).unicode();
        if (i == 4 || i == 7) {
            if (c != u'-')
                return -1;
        } else if (c >= u'0' && c <= u'9') {
            n = n * 10 + (c - u'0');
        } else {
            return -1;
        }
    }
    return n;
}

// The report's rows in order, and the totals of each user and of all. A
// year holds some hundred thousand rows: their periods are compared as
// numbers where all of them have one of the usual forms, their texts
// otherwise.
void putInOrder(const Periods& periods, Report& report)
{
    struct Entry
    {
        qint64 period;
        const Periods::value_type* row;
    };
    std::vector<Entry> ordered;
    ordered.reserve(periods.size());
    qsizetype length = -1;
    bool numbers = true;
    for (const Periods::value_type& row : periods) {
        const QString& period = std::get<0>(row.first);
        const qint64 number = periodNumber(period);
        numbers = numbers && number >= 0 && (length < 0 || length == period.size());
        length = period.size();
        ordered.push_back({number, &row});
    }
    std::sort(ordered.begin(), ordered.end(), [numbers](const Entry& a, const Entry& b) {
        if (!numbers)
            return KeyLess()(a.row->first, b.row->first);
        if (a.period != b.period)
            return a.period < b.period;
        const Key& x = a.row->first;
        const Key& y = b.row->first;
        if (std::get<1>(x) != std::get<1>(y))
            return std::get<1>(x) < std::get<1>(y);
        if (std::get<2>(x) != std::get<2>(y))
            return std::get<2>(x) < std::get<2>(y);
        return std::get<3>(x) < std::get<3>(y);
    });
    Periods users;
    report.rows.reserve(qsizetype(ordered.size()));
    for (const Entry& entry : ordered) {
        const auto& [key, counts] = *entry.row;
        report.rows.append(rowOf(key, counts));
        users[Key(QString(), std::get<1>(key), std::get<2>(key), std::get<3>(key))].Add(counts);
        report.total.Add(counts);
    }
    const OrderedPeriods usersInOrder(users.begin(), users.end());
    for (const auto& [key, counts] : usersInOrder)
        report.userTotals.append(rowOf(key, counts));
}

// Whether text has the usual form "YYYY-MM-DD HH:MM:SS" (digits not checked
// for range).
bool usualForm(const QString& text)
{
    if (text.size() != 19 || text.at(10) != QLatin1Char(' ') || text.at(13) != QLatin1Char(':') ||
        text.at(16) != QLatin1Char(':'))
        return false;
    for (const int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
        if (!text.at(i).isDigit())
            return false;
    }
    return true;
}

// Whether every time of a day "YYYY-MM-DD" shows as itself: its midnight and
// the next both do, 86,400 seconds apart, so that no change of the zone's
// offset falls into it.
bool plainDay(const QString& day)
{
    const QDate date = QDate::fromString(day, kDayFormat);
    if (!date.isValid())
        return false;
    const QString start = date.toString(kDayStart);
    const QString next = date.addDays(1).toString(kDayStart);
    const CTime a = CTime::FromDbText(start);
    const CTime b = CTime::FromDbText(next);
    return a.IsValid() && b.IsValid() && b.GetTime() - a.GetTime() == 86400 &&
           a.ToDbText() == start && b.ToDbText() == next;
}

// first and last as the list shows them (CTime): a time stored in the hour
// the spring change skips reads as the hour after it, and a text of another
// form that the list reads as a date as that date in the usual form. A year
// holds some hundred thousand of them: the days are checked once each, and
// only the texts of a day with a change of the offset are converted.
void showAsListed(Report& report)
{
    QHash<QString, bool> plainDays;
    const auto show = [&plainDays](QString& text) {
        if (usualForm(text)) {
            const QString day = text.left(10);
            auto plain = plainDays.constFind(day);
            if (plain == plainDays.cend())
                plain = plainDays.insert(day, plainDay(day));
            if (*plain)
                return;
        }
        const QString shown = CTime::FromDbText(text).ToDbText();
        if (!shown.isEmpty())
            text = shown;
    };
    for (QVector<ReportRow>* rows : {&report.rows, &report.userTotals}) {
        for (ReportRow& row : *rows) {
            show(row.counts.first);
            show(row.counts.last);
        }
    }
    show(report.total.first);
    show(report.total.last);
}

// Whether a server's range holds events enough for a second connection to
// pay: opening one costs a server some milliseconds, one far away a few
// round trips. The planner's estimate, in one round trip.
bool manyEventsOnServer(CDatabase& db, const JoinFilter& filter, qint64 many)
{
    const PieceSql s = statementFor(db, filter, {}, Span{});
    PreparedQuery explain(db, QStringLiteral("EXPLAIN SELECT 1 FROM [EVENTS]") + s.where);
    explain.Exec(s.values);
    static const QRegularExpression kRows(QStringLiteral(" rows=(\\d+)"));
    const QRegularExpressionMatch rows =
        explain.Next() ? kRows.match(explain.Text(0)) : QRegularExpressionMatch();
    explain.Finish();
    return rows.hasMatch() && rows.captured(1).toLongLong() >= many;
}

// Pieces of a report counted on a second connection and thread: the
// grouping is the database's work, and a second core does half of it. A
// SQLite file's second connection takes every other month; a server's the
// later half of the range, in the state of the first connection's snapshot.
class SecondCount
{
public:
    SecondCount(const Location& location, const ReportOptions& options, QVector<Span> pieces,
                const QString& snapshot)
        : m_options(options), m_pieces(std::move(pieces))
    {
        m_done = std::async(std::launch::async,
                            [this, location, snapshot] { count(location, snapshot); });
    }
    ~SecondCount()
    {
        Stop();
        if (m_done.valid())
            m_done.wait();
    }
    SecondCount(const SecondCount&) = delete;
    SecondCount& operator=(const SecondCount&) = delete;

    qsizetype Counted() const { return m_counted; }
    // Stops between pieces, and stops a server's statement under way.
    void Stop()
    {
        m_stop = true;
        std::lock_guard lock(m_mutex);
        if (m_cancel)
            m_cancel->Cancel();
    }
    // Whether the pieces are counted (or the count failed) within the time.
    bool WaitFor(std::chrono::milliseconds time) const
    {
        return m_done.wait_for(time) == std::future_status::ready;
    }
    // Adds what was counted; throws what the count threw. False, nothing
    // added, when it failed before counting any piece (its connection could
    // not be made): then the caller counts them.
    bool AddTo(Periods& periods, Hours& hours)
    {
        try {
            m_done.get();
        } catch (...) {
            if (m_counted == 0)
                return false;
            throw;
        }
        for (const auto& [key, counts] : m_periods)
            periods[key].Add(counts);
        for (size_t hour = 0; hour < hours.size(); ++hour)
            hours[hour] += m_hours[hour];
        return true;
    }

private:
    void count(const Location& location, const QString& snapshot)
    {
        CDatabase connection; // connections belong to the thread that opened them
        // Let go of before the connection closes.
        const auto forget = qScopeGuard([this] {
            std::lock_guard lock(m_mutex);
            m_cancel.reset();
        });
        connection.Open(location, [this](Connection& opened) {
            std::lock_guard lock(m_mutex);
            m_cancel = opened.MakeCancel();
        });
        if (m_stop)
            return;
        std::optional<ServerSnapshot> state;
        if (!snapshot.isEmpty())
            state.emplace(connection, snapshot);
        ReportQuery query(connection, m_options);
        for (const Span& piece : m_pieces) {
            if (m_stop)
                return;
            query.Count(piece, m_periods, m_hours);
            ++m_counted;
        }
    }

    const ReportOptions m_options;
    const QVector<Span> m_pieces;
    Periods m_periods;
    Hours m_hours{};
    std::atomic<qsizetype> m_counted{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::unique_ptr<StatementCancel> m_cancel; // a server's, once connected
    std::future<void> m_done;
};

} // namespace

bool ParseReportPeriod(const QString& text, ReportPeriod* period)
{
    static const std::pair<const char*, ReportPeriod> kNames[] = {
        {"day", ReportPeriod::Day}, {"week", ReportPeriod::Week}, {"month", ReportPeriod::Month}};
    for (const auto& [name, value] : kNames) {
        if (text == QLatin1String(name)) {
            *period = value;
            return true;
        }
    }
    return false;
}

QString PeriodOf(const QString& day, ReportPeriod period)
{
    switch (period) {
    case ReportPeriod::Day:
        return day;
    case ReportPeriod::Month:
        return day.left(7);
    case ReportPeriod::Week: {
        const QDate date = QDate::fromString(day, kDayFormat);
        return date.isValid() ? date.addDays(1 - date.dayOfWeek()).toString(kDayFormat) : day;
    }
    }
    return day;
}

QStringList ReportPeriods(const Report& report)
{
    QDate first = QDate::fromString(
        (report.from.isEmpty() ? report.total.first : report.from).left(10), kDayFormat);
    QDate last;
    if (report.to.isEmpty()) {
        last = QDate::fromString(report.total.last.left(10), kDayFormat);
    } else {
        // The bound is not included: midnight ends the day before.
        last = QDate::fromString(report.to.left(10), kDayFormat);
        if (report.to.mid(11) == QLatin1String("00:00:00") || report.to.size() == 10)
            last = last.addDays(-1);
    }
    QStringList periods;
    if (!first.isValid() || !last.isValid())
        return periods;
    if (report.by == ReportPeriod::Week)
        first = first.addDays(1 - first.dayOfWeek());
    else if (report.by == ReportPeriod::Month)
        first = QDate(first.year(), first.month(), 1);
    for (QDate day = first; day <= last;) {
        periods.append(PeriodOf(day.toString(kDayFormat), report.by));
        switch (report.by) {
        case ReportPeriod::Day:
            day = day.addDays(1);
            break;
        case ReportPeriod::Week:
            day = day.addDays(7);
            break;
        case ReportPeriod::Month:
            day = day.addMonths(1);
            break;
        }
    }
    return periods;
}

void ReportCounts::Add(const ReportCounts& other)
{
    if (other.events == 0)
        return;
    if (events == 0 || other.first < first)
        first = other.first;
    if (events == 0 || other.last > last)
        last = other.last;
    events += other.events;
    button1 += other.button1;
}

Report BuildReport(CDatabase& db, const ReportOptions& options,
                   const std::function<bool(double done)>& progress)
{
    if (!db.IsOpen())
        throw CDBException(QStringLiteral("The database is not connected."));
    ReportQuery query(db, options);

    Report report;
    report.by = options.by;
    report.from = options.filter.from;
    report.to = options.filter.to;
    Periods periods;
    const bool server = db.GetDialect().GetBackend() == Dialect::Backend::Postgres;
    std::optional<ServerSnapshot> snapshot;
    if (server)
        snapshot.emplace(db, QString());
    // A file is counted a month at a time, so that a long report can tell
    // its progress and stop between months. A server does better with the
    // whole range in one statement: it compiles the expressions of a large
    // query (PostgreSQL's JIT), and reports of small pieces cost it about
    // half as much again.
    const QVector<Span> months = db.GetDialect().IsSqlite() || server
                                     ? monthsOf(db, query.Dates(), options.filter)
                                     : QVector<Span>{};
    QVector<Span> mine = server ? QVector<Span>{Span{}} : months;
    QVector<Span> theirs;
    QString shared; // the server's state the second connection takes
    const bool sqliteFile = db.GetDialect().IsSqlite() && !db.GetPath().isEmpty();
    if (months.size() > 1 && std::thread::hardware_concurrency() > 1) {
        if (sqliteFile) {
            mine.clear();
            for (qsizetype i = 0; i < months.size(); ++i)
                (i % 2 ? theirs : mine).append(months.at(i));
        } else if (server && manyEventsOnServer(db, options.filter, options.secondConnectionFrom)) {
            shared = snapshot->Export();
        }
        if (!shared.isEmpty()) {
            const Span& middle = months.at(months.size() / 2);
            mine = {Span{QString(), middle.from, months.front().start, middle.start}};
            theirs = {Span{middle.from, QString(), middle.start, months.back().end}};
        }
    }
    std::optional<SecondCount> others;
    if (!theirs.isEmpty())
        others.emplace(db.GetLocation(), options, theirs, shared);
    const qsizetype pieces = mine.size() + theirs.size();
    auto goOn = [&](qsizetype counted) {
        const qsizetype all = counted + (others ? others->Counted() : 0);
        return !progress || progress(double(all) / double(pieces));
    };
    // Counts the pieces here, after `before` others; false when told to stop.
    auto countHere = [&](const QVector<Span>& here, qsizetype before) {
        for (qsizetype i = 0; i < here.size(); ++i) {
            query.Count(here.at(i), periods, report.byHour);
            if (!goOn(before + i + 1))
                return false;
        }
        return true;
    };
    bool done = countHere(mine, 0);
    while (done && others && !others->WaitFor(std::chrono::milliseconds(50)))
        done = goOn(mine.size());
    if (done && others) {
        if (others->AddTo(periods, report.byHour)) {
            done = goOn(mine.size());
        } else {
            others.reset();
            done = countHere(theirs, mine.size());
        }
    }
    if (!done) {
        report.cancelled = true;
        return report;
    }
    putInOrder(periods, report);
    showAsListed(report);
    return report;
}

QString LastEventDay(CDatabase& db)
{
    const DateSql dates = dateSqlFor(db);
    PreparedQuery q(db, QStringLiteral("SELECT ") +
                            dates.text.arg(QStringLiteral("max(EVENTS.DATE)")) +
                            QStringLiteral(" FROM [EVENTS]"));
    q.Exec();
    QString day = q.Next() ? q.Value(0).toString().left(10) : QString();
    q.Finish();
    return day;
}
