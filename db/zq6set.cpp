#include "db/zq6set.h"

#include "db/backend/dbexception.h"
#include "db/backgroundcount.h"
#include "db/record/database.h"
#include "db/record/readtransaction.h"

#include <QScopeGuard>
#include <algorithm>
#include <atomic>
#include <limits>
#include <utility>

namespace {

// Up to this many events are found through an index and sorted; a filter
// that lets more through is read in INDEX order, where a screenful of its
// rows is near.
std::atomic<qint64> g_fewEvents{4096};

// Rows of one event come in a fixed order, so that row numbers stay put.
const QString kWindowOrder = QStringLiteral(" ORDER BY [EVENTS].[INDEX], [USERS].[INDEX]");
const QString kBackwardOrder =
    QStringLiteral(" ORDER BY [EVENTS].[INDEX] DESC, [USERS].[INDEX] DESC");

} // namespace

CZq6Set::CZq6Set(CDatabase* pDatabase) : CRecordset(pDatabase)
{
    m_nFields = 10;
    m_nDefaultType = dynaset;
}

CZq6Set::~CZq6Set()
{
    StopBackground();
}

QString CZq6Set::GetDefaultSQL() const
{
    return QStringLiteral("[EVENTS] LEFT OUTER JOIN [USERS] ON EVENTS.USER_NO = USERS.USER_NO AND "
                          "EVENTS.DATE > USERS.DATE_START AND EVENTS.DATE < USERS.DATE_STOP");
}

QStringList CZq6Set::BoundColumns() const
{
    return {QStringLiteral("[EVENTS].[INDEX]"),     QStringLiteral("[EVENTS].[TIMER]"),
            QStringLiteral("[EVENTS].[DATE]"),      QStringLiteral("[EVENTS].[USER_NO]"),
            QStringLiteral("[EVENTS].[BUTTON]"),    QStringLiteral("[USERS].[INDEX]"),
            QStringLiteral("[USERS].[NAME]"),       QStringLiteral("[USERS].[USER_NO]"),
            QStringLiteral("[USERS].[DATE_START]"), QStringLiteral("[USERS].[DATE_STOP]")};
}

void CZq6Set::DoFieldExchange(const RowValues& row)
{
    m_INDEX = row.at(0).toInt();
    m_TIMER = row.at(1).toInt();
    m_DATE = CTime::FromDbText(row.at(2).toString());
    m_USER_NO = row.at(3).toInt();
    m_BUTTON = row.at(4).toString();
    m_INDEX2 = row.at(5).toInt();
    m_NAME = row.at(6).toString();
    m_USER_NO2 = row.at(7).toInt();
    m_DATE_START = CTime::FromDbText(row.at(8).toString());
    m_DATE_STOP = CTime::FromDbText(row.at(9).toString());
}

void CZq6Set::Close()
{
    StopBackground();
    DropCount();
    m_shortAfterRecount = false;
    m_statements = Statements();
    CRecordset::Close();
}

void CZq6Set::DropCount()
{
    m_marks.clear();
    m_rowCount = 0;
    m_counted = m_checked = JoinStamp();
    m_known = Known();
    ++m_countSerial;
}

void CZq6Set::SetFilter(const EventFilter& filter)
{
    StopBackground();
    DropCount();
    m_shortAfterRecount = false;
    m_filter = filter;
    m_terms = FilterTerms();
    m_where = m_ordered = m_walk = FilterWhere();
    m_statements = Statements();
}

bool CZq6Set::FilterNamesChanged()
{
    if (m_filter.name.isEmpty() || m_statements.connection.isEmpty())
        return false;
    if (ResolveFilterTerms(*m_pDatabase, m_filter) == m_terms)
        return false;
    m_statements = Statements();
    return true;
}

QVariantList CZq6Set::Values(std::initializer_list<qint64> head, std::initializer_list<qint64> tail,
                             int times) const
{
    QVariantList values;
    for (const qint64 v : head)
        values << v;
    // Every form of the filter binds the same values in the same order.
    for (int i = 0; i < times; ++i)
        values += m_where.values;
    for (const qint64 v : tail)
        values << v;
    return values;
}

void CZq6Set::Run(PreparedQuery& q, std::initializer_list<qint64> head,
                  std::initializer_list<qint64> tail)
{
    if (!m_where.IsEmpty()) {
        q.Exec(Values(head, tail));
    } else if (tail.size() == 0) {
        q.Exec(head);
    } else {
        // head and tail hold one value each wherever both are given.
        q.Exec({*head.begin(), *tail.begin()});
    }
}

CZq6Set::Statements& CZq6Set::Prepared()
{
    const QString connection = m_pDatabase->ConnectionName();
    if (m_statements.connection == connection && !connection.isEmpty())
        return m_statements;
    m_statements = Statements();
    const CDatabase& db = *m_pDatabase;
    m_terms = ResolveFilterTerms(db, m_filter);
    m_where = m_terms.Where();
    bool few = false;
    m_ordered = db.GetDialect().IsSqlite() ? m_terms.Where(ChooseDrive(&few)) : m_where;
    // A count reads every passing row: through the index that finds few, else
    // through whichever the database takes, sorting them once.
    m_walk = few ? m_ordered : m_where;
    const QString from = QStringLiteral(" FROM ") + GetDefaultSQL();
    const QString passes = m_ordered.IsEmpty()
                               ? QString()
                               : QStringLiteral(" AND (") + m_ordered.sql + QLatin1Char(')');
    const QString window = from + QStringLiteral(" WHERE [EVENTS].[INDEX] >= ?") + passes +
                           kWindowOrder + QStringLiteral(" LIMIT ?");
    const QString bound = BoundColumns().join(QStringLiteral(", "));
    const QString listed = QStringLiteral("[EVENTS].[INDEX], [EVENTS].[TIMER], [EVENTS].[DATE], "
                                          "[EVENTS].[USER_NO], [USERS].[NAME]");
    Statements s;
    s.forward = {db, QStringLiteral("SELECT ") + bound + window};
    s.listed = {db, QStringLiteral("SELECT ") + listed + window};
    const QString version = db.GetDialect().DataVersionColumns();
    if (!version.isEmpty()) {
        s.forwardChecked = {db, QStringLiteral("SELECT ") + bound + QStringLiteral(", ") + version +
                                    window};
        s.listedChecked = {db, QStringLiteral("SELECT ") + listed + QStringLiteral(", ") + version +
                                   window};
    }
    s.backward = {db, QStringLiteral("SELECT [EVENTS].[INDEX]") + from +
                          QStringLiteral(" WHERE [EVENTS].[INDEX] < ?") + passes + kBackwardOrder +
                          QStringLiteral(" LIMIT ?")};
    const QString whole = QStringLiteral("SELECT (SELECT min([INDEX]) FROM EVENTS), "
                                         "(SELECT max([INDEX]) FROM EVENTS)");
    s.whole = {db, whole};
    if (m_where.IsEmpty()) {
        s.span = {db, whole};
    } else if (few) {
        // Read in INDEX order, SQLite would walk up to the first of them.
        s.span = {db, QStringLiteral("SELECT min([EVENTS].[INDEX]), max([EVENTS].[INDEX])") + from +
                          QStringLiteral(" WHERE ") + m_ordered.sql};
        s.spanFilters = 1;
    } else {
        // The first and the last passing event, each found through the
        // index that serves the filter rather than by aggregating its rows.
        const QString first = QStringLiteral("SELECT [EVENTS].[INDEX]") + from +
                              QStringLiteral(" WHERE ") + m_ordered.sql +
                              QStringLiteral(" ORDER BY [EVENTS].[INDEX]");
        s.span = {db, QStringLiteral("SELECT (") + first + QStringLiteral(" LIMIT 1), (") + first +
                          QStringLiteral(" DESC LIMIT 1)")};
    }
    s.between = {db, QStringLiteral("SELECT count(*)") + from +
                         QStringLiteral(" WHERE [EVENTS].[INDEX] >= ? AND [EVENTS].[INDEX] < ?") +
                         passes};
    s.version = JoinStamp::VersionQuery(db);
    s.connection = connection;
    m_statements = std::move(s);
    return m_statements;
}

void CZq6Set::SetFewEvents(qint64 few)
{
    g_fewEvents = few;
}

FilterTerms::Drive CZq6Set::ChooseDrive(bool* few) const
{
    using Drive = FilterTerms::Drive;
    using Kind = FilterTerms::Kind;
    const qint64 kFew = g_fewEvents;
    const auto matches = [this, kFew](Kind kind) {
        if (!m_terms.Has(kind))
            return std::numeric_limits<qint64>::max();
        const FilterWhere only = m_terms.Only(kind);
        PreparedQuery q(
            *m_pDatabase,
            QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM [EVENTS] WHERE %1 LIMIT %2)")
                .arg(only.sql)
                .arg(kFew + 1));
        q.Exec(only.values);
        const qint64 found = q.Next() ? q.Int64(0) : 0;
        q.Finish();
        return found;
    };
    const qint64 dates = matches(Kind::Date);
    const qint64 userNos = matches(Kind::UserNo);
    *few = dates <= kFew || userNos <= kFew;
    if (*few)
        return dates < userNos ? Drive::Date : Drive::UserNo;
    // One user number's events come in INDEX order from its index.
    const bool oneUserNo =
        std::any_of(m_terms.terms.cbegin(), m_terms.terms.cend(), [](const FilterTerms::Term& t) {
            return t.kind == Kind::UserNo && t.values.size() == 1;
        });
    return oneUserNo ? Drive::UserNo : Drive::Order;
}

qint64 CZq6Set::CountRows()
{
    RequireOpen("Counting rows");
    StopBackground();
    m_forList = false;
    Statements& s = Prepared();
    ReadTransaction read(m_pDatabase);
    Count(JoinChange::Other, JoinStamp::Take(*m_pDatabase, &s.version));
    read.Commit();
    return m_rowCount;
}

qint64 CZq6Set::UpdateRowCount()
{
    RequireOpen("Counting rows");
    if (!IsCounted() || FilterNamesChanged())
        return CountRows();
    Statements& s = Prepared();
    ReadTransaction read(m_pDatabase);
    JoinStamp now;
    const JoinChange change = m_counted.ChangeSince(*m_pDatabase, &now, &s.version);
    Count(change, now);
    read.Commit();
    return m_rowCount;
}

void CZq6Set::Count(JoinChange change, const JoinStamp& now)
{
    // The stamps are valid only while the marks are.
    m_counted = m_checked = JoinStamp();
    m_known = Known();
    if (change != JoinChange::None)
        ++m_countSerial;
    try {
        if (change == JoinChange::Appended && !m_marks.isEmpty()) {
            CountFrom(static_cast<int>(m_marks.size()) - 1);
        } else if (change != JoinChange::None) {
            m_marks.clear();
            m_rowCount = 0;
            CountFrom(-1);
        }
    } catch (...) {
        m_marks.clear();
        m_rowCount = 0;
        throw;
    }
    m_counted = m_checked = now;
}

void CZq6Set::CountFrom(int markNo)
{
    qint64 from = -1;
    qint64 row = 0;
    if (markNo >= 0) {
        const JoinMark mark = m_marks.at(markNo);
        // Start at the first row of the marked event.
        from = mark.eventIndex;
        row = qint64(markNo) * kMarkStride - mark.skip;
        m_marks.resize(markNo);
    }
    m_rowCount = WalkJoinMarks(*m_pDatabase, GetDefaultSQL(), from, row, kMarkStride, m_marks,
                               nullptr, m_walk);
}

bool CZq6Set::Small(const EventSpan& span)
{
    // A worker needs a file or a server to open a connection of its own.
    if (m_pDatabase->GetPath().isEmpty() && !m_pDatabase->GetLocation().IsServer())
        return true;
    if (!span.IsEmpty() && span.last - span.first >= kCountAtOnce)
        return false;
    if (m_where.IsEmpty())
        return true;
    // A count also takes the numbers of the whole log (see JoinStamp), which
    // take long to read on a large one, however few rows pass the filter.
    PreparedQuery& q = Prepared().whole;
    const auto finish = qScopeGuard([&q] { q.Finish(); });
    q.Exec();
    return !q.Next() || q.IsNull(0) || q.Int64(1) - q.Int64(0) < kCountAtOnce;
}

void CZq6Set::StartCount()
{
    RequireOpen("Counting rows");
    StopBackground();
    DropCount();
    m_forList = true;
    const EventSpan span = ReadEventSpan();
    if (Small(span)) {
        Statements& s = Prepared();
        ReadTransaction read(m_pDatabase);
        Count(JoinChange::Other, JoinStamp::Take(*m_pDatabase, &s.version));
        read.Commit();
    } else {
        StartBackground(span);
    }
}

void CZq6Set::UpdateCount()
{
    RequireOpen("Counting rows");
    m_forList = true;
    if (FilterNamesChanged()) {
        StartCount();
        return;
    }
    if (!IsCounted()) {
        // A count running now is checked against the database when it ends.
        if (!m_background)
            StartCount();
        return;
    }
    Statements& s = Prepared();
    ReadTransaction read(m_pDatabase);
    JoinStamp now;
    const JoinChange change = m_counted.ChangeSince(*m_pDatabase, &now, &s.version);
    if (change == JoinChange::None ||
        (change == JoinChange::Appended && now.lastEvent - m_counted.lastEvent < kCountOnAtOnce)) {
        Count(change, now);
        read.Commit();
        return;
    }
    const EventSpan span = ReadEventSpan();
    if (Small(span)) {
        Count(change, now);
        read.Commit();
        return;
    }
    read.Commit();
    DropCount();
    StartBackground(span);
}

void CZq6Set::SetCountDone(std::function<void()> done)
{
    std::lock_guard lock(m_doneMutex);
    m_done = std::move(done);
}

void CZq6Set::NotifyDone()
{
    std::lock_guard lock(m_doneMutex);
    if (m_done)
        m_done();
}

void CZq6Set::StartBackground()
{
    StopBackground();
    m_background = std::make_unique<BackgroundCount>(
        m_pDatabase->GetLocation().IsServer() ? m_pDatabase->GetLocation()
                                              : m_pDatabase->GetLocation().File(),
        GetDefaultSQL(), m_walk, kMarkStride, [this] { NotifyDone(); });
}

void CZq6Set::StartBackground(const EventSpan& span)
{
    StartBackground();
    m_startSpan = span;
    m_hasStartSpan = true;
}

void CZq6Set::StopBackground()
{
    m_background.reset();
    m_hasStartSpan = false;
}

bool CZq6Set::AdoptCount()
{
    if (!m_background || !m_background->IsFinished())
        return IsCounted();
    JoinCount count = m_background->Take();
    StopBackground();
    if (!count.error.isEmpty())
        throw CDBException(count.error);
    RequireOpen("Counting rows");
    Statements& s = Prepared();
    ReadTransaction read(m_pDatabase);
    JoinStamp now;
    const JoinChange change = count.stamp.ChangeSince(*m_pDatabase, &now, &s.version);
    if (change == JoinChange::Other) {
        read.Commit();
        StartBackground();
        return false;
    }
    m_marks = std::move(count.marks);
    m_rowCount = count.rows;
    Count(change, now);
    ++m_countSerial;
    read.Commit();
    return true;
}

CZq6Set::EventSpan CZq6Set::CurrentEventSpan()
{
    if (m_hasStartSpan && m_background) {
        m_hasStartSpan = false;
        return m_startSpan;
    }
    return ReadEventSpan();
}

CZq6Set::EventSpan CZq6Set::ReadEventSpan()
{
    RequireOpen("Reading events");
    PreparedQuery& q = Prepared().span;
    const auto finish = qScopeGuard([&q] { q.Finish(); });
    if (m_where.IsEmpty())
        q.Exec();
    else
        q.Exec(Values({}, {}, Prepared().spanFilters));
    EventSpan span{1, 0};
    if (q.Next() && !q.IsNull(0)) {
        span.first = q.Int64(0);
        span.last = q.Int64(1);
    }
    return span;
}
