#include "formats/reportquery.h"

#include "db/backend/dbexception.h"
#include "db/backend/sqlitehandle.h"
#include "db/record/database.h"

#include <QDate>
#include <QSqlQuery>
#include <algorithm>
#include <map>
#include <sqlite3.h>
#include <tuple>

namespace {

const QString kDayFormat = QStringLiteral("yyyy-MM-dd");

// The SQL of the pieces that differ: SQLite (also behind ODBC) keeps dates as
// text "YYYY-MM-DD HH:MM:SS", PostgreSQL as timestamps.
struct DateSql
{
    QString day;  // the day of EVENTS.DATE as "YYYY-MM-DD"
    QString hour; // its hour as "HH"
    QString text; // %1 as "YYYY-MM-DD HH:MM:SS"
};

DateSql dateSqlFor(const CDatabase& db)
{
    if (db.GetDialect().GetBackend() == Dialect::Backend::Postgres)
        return {QStringLiteral("to_char(EVENTS.DATE, 'YYYY-MM-DD')"),
                QStringLiteral("to_char(EVENTS.DATE, 'HH24')"),
                QStringLiteral("to_char(%1, 'YYYY-MM-DD HH24:MI:SS')")};
    return {QStringLiteral("substr(EVENTS.DATE, 1, 10)"),
            QStringLiteral("substr(EVENTS.DATE, 12, 2)"), QStringLiteral("%1")};
}

struct Span
{
    QString from;
    QString to;
};

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
    QSqlQuery q = db.Prepare(
        QStringLiteral("SELECT (SELECT ") + dates.text.arg(QStringLiteral("min(EVENTS.DATE)")) +
        where + QStringLiteral("), (SELECT ") + dates.text.arg(QStringLiteral("max(EVENTS.DATE)")) +
        where + QStringLiteral(")"));
    for (const QVariant& value : values + values)
        q.addBindValue(value);
    CDatabase::Exec(q);
    if (!q.next() || q.isNull(0))
        return {};
    const QDate first = QDate::fromString(q.value(0).toString().left(10), kDayFormat);
    const QDate last = QDate::fromString(q.value(1).toString().left(10), kDayFormat);
    if (!first.isValid() || !last.isValid() || last < first)
        return {Span{}};
    QVector<Span> months;
    for (QDate month(first.year(), first.month(), 1); month <= last; month = month.addMonths(1)) {
        months.append({month.toString(QStringLiteral("yyyy-MM-dd 00:00:00")),
                       month.addMonths(1).toString(QStringLiteral("yyyy-MM-dd 00:00:00"))});
    }
    months.front().from.clear();
    months.back().to.clear();
    return months;
}

struct Statement
{
    QString where;
    QVariantList values;
};

// The filter's condition within one piece of the range: the piece's bounds
// replace the filter's own dates (they lie within them), so that the date
// index is read for that piece alone; the other terms were resolved once.
Statement statementFor(const JoinFilter& filter, const FilterWhere& others, const Span& span)
{
    QString from = filter.from;
    QString to = filter.to;
    if (!span.from.isEmpty())
        from = std::max(from, span.from);
    if (!span.to.isEmpty())
        to = to.isEmpty() ? span.to : std::min(to, span.to);
    Statement s{QStringLiteral(" WHERE 1 = 1"), {}};
    if (!from.isEmpty()) {
        s.where += QStringLiteral(" AND [EVENTS].[DATE] >= ?");
        s.values.append(from);
    }
    if (!to.isEmpty()) {
        s.where += QStringLiteral(" AND [EVENTS].[DATE] < ?");
        s.values.append(to);
    }
    if (!others.IsEmpty()) {
        s.where += QStringLiteral(" AND ") + others.sql;
        s.values += others.values;
    }
    return s;
}

// The rows of one statement. On SQLite they are read through its C
// interface with the dates bound as UTF-8: Qt binds text as UTF-16, which
// SQLite then converts again for each row it compares with the index.
class Rows
{
public:
    Rows(CDatabase& db, const QString& sql, const QVariantList& values)
        : m_handle(SqliteHandle(db.Handle()))
    {
        if (!m_handle) {
            // A few thousand rows at most: fetched at once, not a row a call,
            // which a forward-only query does on a server.
            m_query = db.Prepare(sql);
            for (const QVariant& value : values)
                m_query.addBindValue(value);
            CDatabase::Exec(m_query);
            return;
        }
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(m_handle, text.constData(), int(text.size()), &m_statement,
                               nullptr) != SQLITE_OK)
            Fail();
        for (int i = 0; i < values.size(); ++i) {
            const QVariant& value = values.at(i);
            if (value.typeId() == QMetaType::QString) {
                const QByteArray bytes = value.toString().toUtf8();
                sqlite3_bind_text(m_statement, i + 1, bytes.constData(), int(bytes.size()),
                                  SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_int64(m_statement, i + 1, value.toLongLong());
            }
        }
    }
    ~Rows() { sqlite3_finalize(m_statement); }
    Rows(const Rows&) = delete;
    Rows& operator=(const Rows&) = delete;

    bool Next()
    {
        if (!m_handle)
            return m_query.next();
        const int step = sqlite3_step(m_statement);
        if (step != SQLITE_ROW && step != SQLITE_DONE)
            Fail();
        return step == SQLITE_ROW;
    }
    bool IsNull(int column) const
    {
        return m_handle ? sqlite3_column_type(m_statement, column) == SQLITE_NULL
                        : m_query.isNull(column);
    }
    QString Text(int column) const
    {
        if (!m_handle)
            return m_query.value(column).toString();
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column)),
            sqlite3_column_bytes(m_statement, column));
    }
    qint64 Integer(int column) const
    {
        return m_handle ? sqlite3_column_int64(m_statement, column)
                        : m_query.value(column).toLongLong();
    }

private:
    [[noreturn]] void Fail() const
    {
        throw CDBException(QString::fromUtf8(sqlite3_errmsg(m_handle)));
    }

    sqlite3* m_handle;
    sqlite3_stmt* m_statement = nullptr;
    QSqlQuery m_query;
};

using Key = std::tuple<QString, qint32, bool, QString>;

ReportRow rowOf(const Key& key, const ReportCounts& counts)
{
    return {std::get<0>(key), std::get<1>(key), std::get<2>(key), std::get<3>(key), counts};
}

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
    const DateSql dates = dateSqlFor(db);
    const JoinSql join = JoinSqlFor(db, {});
    // The user numbers, the button and the names the name text matches, the
    // same conditions as the list's; the dates come with each piece.
    JoinFilter undated = options.filter;
    undated.from.clear();
    undated.to.clear();
    const FilterWhere others = ResolveFilter(db, undated);
    const QString groups =
        QStringLiteral("SELECT ") + dates.day +
        QStringLiteral(", EVENTS.USER_NO, USERS.NAME, count(*), "
                       "count(CASE WHEN EVENTS.BUTTON = '1' THEN 1 END), ") +
        dates.text.arg(QStringLiteral("min(EVENTS.DATE)")) + QStringLiteral(", ") +
        dates.text.arg(QStringLiteral("max(EVENTS.DATE)")) + QStringLiteral(" FROM ") + join.from;
    const QString hours =
        QStringLiteral("SELECT ") + dates.hour + QStringLiteral(", count(*) FROM ") + join.from;

    Report report;
    std::map<Key, ReportCounts> periods;
    // A server does better with the whole range in one statement: it compiles
    // the expressions of a large query (PostgreSQL's JIT), and reports of
    // small pieces cost it about half as much again.
    const QVector<Span> months =
        db.GetDialect().IsSqlite() ? monthsOf(db, dates, options.filter) : QVector<Span>{Span{}};
    for (qsizetype i = 0; i < months.size(); ++i) {
        const Statement s = statementFor(options.filter, others, months.at(i));
        Rows q(db, groups + s.where + QStringLiteral(" GROUP BY 1, 2, 3"), s.values);
        while (q.Next()) {
            const bool hasUser = !q.IsNull(2);
            const ReportCounts counts{q.Integer(3), q.Integer(4), q.Text(5), q.Text(6)};
            periods[Key(PeriodOf(q.Text(0), options.by), qint32(q.Integer(1)), hasUser,
                        hasUser ? q.Text(2) : QString())]
                .Add(counts);
        }
        if (options.byHour) {
            Rows h(db, hours + s.where + QStringLiteral(" GROUP BY 1"), s.values);
            while (h.Next()) {
                bool ok = false;
                const int hour = h.Text(0).toInt(&ok);
                if (ok && hour >= 0 && hour < 24)
                    report.byHour[size_t(hour)] += h.Integer(1);
            }
        }
        if (progress && !progress(double(i + 1) / double(months.size()))) {
            report.cancelled = true;
            return report;
        }
    }

    std::map<Key, ReportCounts> users;
    report.rows.reserve(qsizetype(periods.size()));
    for (const auto& [key, counts] : periods) {
        report.rows.append(rowOf(key, counts));
        users[Key(QString(), std::get<1>(key), std::get<2>(key), std::get<3>(key))].Add(counts);
        report.total.Add(counts);
    }
    for (const auto& [key, counts] : users)
        report.userTotals.append(rowOf(key, counts));
    return report;
}

QString LastEventDay(CDatabase& db)
{
    const DateSql dates = dateSqlFor(db);
    QSqlQuery q =
        db.Prepare(QStringLiteral("SELECT ") + dates.text.arg(QStringLiteral("max(EVENTS.DATE)")) +
                   QStringLiteral(" FROM [EVENTS]"));
    CDatabase::Exec(q);
    return q.next() ? q.value(0).toString().left(10) : QString();
}
