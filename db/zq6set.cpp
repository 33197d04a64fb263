#include "db/zq6set.h"

#include "db/backend/dbexception.h"
#include "db/backgroundcount.h"
#include "db/record/database.h"

#include <QScopeGuard>
#include <algorithm>
#include <limits>
#include <type_traits>
#include <utility>

namespace {

// Rows of one event come in a fixed order, so that row numbers stay put.
const QString kWindowOrder = QStringLiteral(" ORDER BY [EVENTS].[INDEX], [USERS].[INDEX]");
const QString kBackwardOrder =
    QStringLiteral(" ORDER BY [EVENTS].[INDEX] DESC, [USERS].[INDEX] DESC");

// Rows looked at beyond the ones asked for when reading backwards, to find
// where the event of the first one begins.
constexpr int kLookBehind = 64;
// Rows before the ones known that are read backwards rather than from a mark.
constexpr qint64 kBackReach = 1024;
// Positions kept around the rows read last.
constexpr int kKnownRows = 4096;

void readRow(const PreparedQuery& q, JoinedRow& r)
{
    r.eventIndex = q.Int32(0);
    r.timer = q.Int32(1);
    r.date = CTime::FromDbText(q.Text(2));
    r.userNo = q.Int32(3);
    r.button = q.Text(4);
    r.userIndex = q.Int32(5);
    r.name = q.Text(6);
    r.userUserNo = q.Int32(7);
    r.dateStart = CTime::FromDbText(q.Text(8));
    r.dateStop = CTime::FromDbText(q.Text(9));
}

void readRow(const PreparedQuery& q, ListRow& r)
{
    r.eventIndex = q.Int32(0);
    r.timer = q.Int32(1);
    r.date = q.Text(2);
    r.userNo = q.Int32(3);
    r.name = q.Text(4);
}

// A statement run for its effect alone.
void runOnce(PreparedQuery& q)
{
    q.Exec();
    while (q.Next()) {
    }
}

// Everything read inside one sees the same state of the file, so that the
// marks and the stamp of a count, or the check and the rows of a fetch, agree.
// Begun and ended on the statements kept for it where there are any.
class ReadTransaction
{
public:
    ReadTransaction(CDatabase* db, PreparedQuery& begin, PreparedQuery& commit)
        : m_db(db), m_commit(commit.IsPrepared() ? &commit : nullptr)
    {
        if (!m_db->IsOpen())
            throw CDBException(QStringLiteral("The database is not connected."));
        if (m_commit && begin.IsPrepared())
            runOnce(begin);
        else
            m_db->BeginTrans();
    }
    ~ReadTransaction()
    {
        if (m_db)
            m_db->Rollback();
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;
    void Commit()
    {
        if (m_commit) {
            runOnce(*m_commit);
            m_db = nullptr;
        } else {
            std::exchange(m_db, nullptr)->CommitTrans();
        }
    }

private:
    CDatabase* m_db;
    PreparedQuery* m_commit;
};

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

CZq6Set::Statements& CZq6Set::Prepared()
{
    const QString connection = m_pDatabase->Handle().connectionName();
    if (m_statements.connection == connection && !connection.isEmpty())
        return m_statements;
    m_statements = Statements();
    const CDatabase& db = *m_pDatabase;
    const QString from = QStringLiteral(" FROM ") + GetDefaultSQL();
    Statements s;
    s.forward = {db, QStringLiteral("SELECT ") + BoundColumns().join(QStringLiteral(", ")) + from +
                         QStringLiteral(" WHERE [EVENTS].[INDEX] >= ?") + kWindowOrder +
                         QStringLiteral(" LIMIT ?")};
    s.listed = {db, QStringLiteral("SELECT [EVENTS].[INDEX], [EVENTS].[TIMER], [EVENTS].[DATE], "
                                   "[EVENTS].[USER_NO], [USERS].[NAME]") +
                        from + QStringLiteral(" WHERE [EVENTS].[INDEX] >= ?") + kWindowOrder +
                        QStringLiteral(" LIMIT ?")};
    s.backward = {db, QStringLiteral("SELECT [EVENTS].[INDEX]") + from +
                          QStringLiteral(" WHERE [EVENTS].[INDEX] < ?") + kBackwardOrder +
                          QStringLiteral(" LIMIT ?")};
    s.span = {db, QStringLiteral("SELECT (SELECT min([INDEX]) FROM EVENTS), "
                                 "(SELECT max([INDEX]) FROM EVENTS)")};
    s.between = {db, QStringLiteral("SELECT count(*)") + from +
                         QStringLiteral(" WHERE [EVENTS].[INDEX] >= ? AND [EVENTS].[INDEX] < ?")};
    s.version = JoinStamp::VersionQuery(db);
    if (s.forward.IsSqlite()) {
        // The driver's own transactions prepare these anew every time.
        s.begin = {db, QStringLiteral("BEGIN")};
        s.commit = {db, QStringLiteral("COMMIT")};
    }
    s.connection = connection;
    m_statements = std::move(s);
    return m_statements;
}

qint64 CZq6Set::CountRows()
{
    RequireOpen("Counting rows");
    StopBackground();
    m_forList = false;
    Statements& s = Prepared();
    ReadTransaction read(m_pDatabase, s.begin, s.commit);
    Count(JoinChange::Other, JoinStamp::Take(*m_pDatabase, &s.version));
    read.Commit();
    return m_rowCount;
}

qint64 CZq6Set::UpdateRowCount()
{
    RequireOpen("Counting rows");
    if (!IsCounted())
        return CountRows();
    Statements& s = Prepared();
    ReadTransaction read(m_pDatabase, s.begin, s.commit);
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
    m_rowCount = WalkJoinMarks(*m_pDatabase, GetDefaultSQL(), from, row, kMarkStride, m_marks);
}

bool CZq6Set::Small(const EventSpan& span) const
{
    // A worker needs a file to open a connection of its own.
    return span.IsEmpty() || span.last - span.first < kCountAtOnce ||
           m_pDatabase->GetPath().isEmpty();
}

void CZq6Set::StartCount()
{
    RequireOpen("Counting rows");
    StopBackground();
    DropCount();
    m_forList = true;
    if (Small(ReadEventSpan())) {
        Statements& s = Prepared();
        ReadTransaction read(m_pDatabase, s.begin, s.commit);
        Count(JoinChange::Other, JoinStamp::Take(*m_pDatabase, &s.version));
        read.Commit();
    } else {
        StartBackground();
    }
}

void CZq6Set::UpdateCount()
{
    RequireOpen("Counting rows");
    m_forList = true;
    if (!IsCounted()) {
        // A count running now is checked against the database when it ends.
        if (!m_background)
            StartCount();
        return;
    }
    Statements& s = Prepared();
    ReadTransaction read(m_pDatabase, s.begin, s.commit);
    JoinStamp now;
    const JoinChange change = m_counted.ChangeSince(*m_pDatabase, &now, &s.version);
    if (change == JoinChange::None ||
        (change == JoinChange::Appended && now.lastEvent - m_counted.lastEvent < kCountOnAtOnce) ||
        Small(ReadEventSpan())) {
        Count(change, now);
        read.Commit();
        return;
    }
    read.Commit();
    DropCount();
    StartBackground();
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
    m_background = std::make_unique<BackgroundCount>(m_pDatabase->GetPath(), GetDefaultSQL(),
                                                     kMarkStride, [this] { NotifyDone(); });
}

void CZq6Set::StopBackground()
{
    m_background.reset();
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
    ReadTransaction read(m_pDatabase, s.begin, s.commit);
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

CZq6Set::EventSpan CZq6Set::ReadEventSpan()
{
    RequireOpen("Reading events");
    PreparedQuery& q = Prepared().span;
    const auto finish = qScopeGuard([&q] { q.Finish(); });
    q.Exec();
    EventSpan span{1, 0};
    if (q.Next() && !q.IsNull(0)) {
        span.first = q.Int64(0);
        span.last = q.Int64(1);
    }
    return span;
}

template <class Row>
QVector<Row> CZq6Set::Forward(JoinMark start, qint64 step, int count, QVector<JoinMark>* positions)
{
    Statements& s = Prepared();
    PreparedQuery& q = std::is_same_v<Row, ListRow> ? s.listed : s.forward;
    const auto finish = qScopeGuard([&q] { q.Finish(); });
    const qint64 skip = start.skip + step;
    q.Exec({start.eventIndex, skip + count + (positions ? 1 : 0)});
    QVector<Row> rows;
    rows.reserve(count);
    qint64 event = std::numeric_limits<qint64>::min();
    int inEvent = 0;
    for (qint64 i = 0; q.Next(); ++i) {
        if (positions) {
            const qint64 e = q.Int64(0);
            inEvent = e == event ? inEvent + 1 : 0;
            event = e;
            if (i >= start.skip)
                positions->append({e, inEvent});
        }
        if (i >= skip && rows.size() < count)
            readRow(q, rows.emplace_back());
    }
    return rows;
}

int CZq6Set::Before(qint64 eventIndex, qint64 n, JoinMark* position, QVector<JoinMark>* rows)
{
    PreparedQuery& q = Prepared().backward;
    const auto finish = qScopeGuard([&q] { q.Finish(); });
    q.Exec({eventIndex, n + kLookBehind});
    QVector<qint64> events;
    while (q.Next())
        events.append(q.Int64(0));
    if (events.size() < n)
        return 1;
    // The rows come newest first: the last one of a run of an event is the
    // first row of that event.
    qint64 end = n - 1;
    while (end + 1 < events.size() && events.at(end + 1) == events.at(n - 1))
        ++end;
    if (end + 1 == events.size() && events.size() == n + kLookBehind) {
        *position = {events.at(n - 1), 0};
        return 2;
    }
    *position = {events.at(n - 1), int(end - (n - 1))};
    if (rows) {
        rows->clear();
        rows->resize(n);
        qint64 runEnd = end;
        for (qint64 k = end; k >= 0; --k) {
            if (k < end && events.at(k) != events.at(k + 1))
                runEnd = k;
            if (k < n)
                (*rows)[n - 1 - k] = {events.at(k), int(runEnd - k)};
        }
    }
    return 0;
}

void CZq6Set::Remember(qint64 first, const QVector<JoinMark>& rows)
{
    Known& k = m_known;
    const qint64 knownEnd = k.first + k.rows.size();
    const qint64 end = first + rows.size();
    if (k.rows.isEmpty() || end < k.first || first > knownEnd) {
        k.first = first;
        k.rows = rows;
    } else {
        // Joined into one run; the new rows win where they overlap.
        QVector<JoinMark> joined;
        const qint64 from = std::min(first, k.first);
        const qint64 to = std::max(end, knownEnd);
        joined.reserve(to - from);
        for (qint64 row = from; row < to; ++row)
            joined.append(row >= first && row < end ? rows.at(row - first)
                                                    : k.rows.at(row - k.first));
        k.first = from;
        k.rows = std::move(joined);
    }
    // Kept near the rows just read.
    if (k.rows.size() > kKnownRows) {
        const qint64 keepFrom = std::clamp<qint64>(first - kKnownRows / 2, k.first,
                                                   k.first + k.rows.size() - kKnownRows);
        k.rows = k.rows.mid(keepFrom - k.first, kKnownRows);
        k.first = keepFrom;
    }
}

template <class Row> QVector<Row> CZq6Set::FetchRows(qint64 first, int count)
{
    RequireOpen("Fetching rows");
    if (first < 0 || count <= 0 || !m_counted.IsValid())
        return {};
    Statements& s = Prepared();
    ReadTransaction read(m_pDatabase, s.begin, s.commit);
    JoinStamp now;
    // At once, or for the list of a large set in the background: false.
    const auto countAgain = [&] {
        if (m_forList && !Small(ReadEventSpan())) {
            read.Commit();
            DropCount();
            StartBackground();
            return false;
        }
        Count(JoinChange::Other, now);
        return true;
    };
    // Appended events leave the counted rows where they were; they are
    // counted at the next update.
    if (m_checked.ChangeSince(*m_pDatabase, &now, &s.version) == JoinChange::Other) {
        if (!countAgain())
            return {};
    } else {
        m_checked = now;
    }
    const auto readCounted = [&] {
        return first < m_rowCount
                   ? ReadRows<Row>(first,
                                   static_cast<int>(std::min<qint64>(count, m_rowCount - first)))
                   : QVector<Row>();
    };
    const auto isShort = [&](const QVector<Row>& rows) {
        return first + rows.size() < std::min<qint64>(first + count, m_rowCount);
    };
    QVector<Row> rows = readCounted();
    // Nothing but appends has changed since the count found these rows, as
    // far as the stamps tell: they do not see events changed in place by
    // another program, which can take rows away. Once, count again.
    if (isShort(rows) && !m_shortAfterRecount) {
        m_shortAfterRecount = true;
        if (!countAgain())
            return {};
        rows = readCounted();
    }
    if (isShort(rows))
        throw CDBException(m_pDatabase->DamagedMessage(
            QStringLiteral("%1 rows were counted in it, but of rows %2 to %3 only %4 could be read")
                .arg(m_rowCount)
                .arg(first + 1)
                .arg(std::min<qint64>(first + count, m_rowCount))
                .arg(rows.size())));
    m_shortAfterRecount = false;
    read.Commit();
    return rows;
}

template <class Row> QVector<Row> CZq6Set::ReadRows(qint64 first, int count)
{
    JoinMark start;
    qint64 startRow = -1;
    const Known& k = m_known;
    if (k.Has(first)) {
        start = k.rows.at(first - k.first);
        startRow = first;
    } else if (!k.rows.isEmpty() && first < k.first && k.first - first <= kBackReach) {
        const JoinMark top = k.rows.first();
        if (first >= k.first - top.skip) {
            start = {top.eventIndex, int(top.skip - (k.first - first))};
            startRow = first;
        } else {
            QVector<JoinMark> before;
            const qint64 eventStart = k.first - top.skip;
            if (Before(top.eventIndex, eventStart - first, &start, &before) == 0) {
                for (int s = 0; s < top.skip; ++s)
                    before.append({top.eventIndex, s});
                Remember(first, before);
                startRow = first;
            }
        }
    }
    if (startRow < 0) {
        const qint64 markNo = std::min<qint64>(first / kMarkStride, m_marks.size() - 1);
        start = m_marks.at(markNo);
        startRow = markNo * kMarkStride;
        const qint64 knownLast = k.first + k.rows.size() - 1;
        if (!k.rows.isEmpty() && knownLast > startRow && knownLast <= first) {
            start = k.rows.last();
            startRow = knownLast;
        }
    }
    QVector<JoinMark> positions;
    QVector<Row> rows = Forward<Row>(start, first - startRow, count, &positions);
    Remember(startRow, positions);
    return rows;
}

template <class Row> QVector<Row> CZq6Set::FetchFromEvent(qint64 eventIndex, int count)
{
    RequireOpen("Fetching rows");
    if (count <= 0)
        return {};
    return Forward<Row>({eventIndex, 0}, 0, count);
}

template <class Row> QVector<Row> CZq6Set::FetchLast(int count)
{
    RequireOpen("Fetching rows");
    if (count <= 0)
        return {};
    Statements& s = Prepared();
    ReadTransaction read(m_pDatabase, s.begin, s.commit);
    JoinMark start;
    QVector<Row> rows;
    switch (Before(std::numeric_limits<qint64>::max(), count, &start, nullptr)) {
    case 0:
        rows = Forward<Row>(start, 0, count);
        break;
    case 1:
        rows = Forward<Row>({std::numeric_limits<qint64>::min(), 0}, 0, count);
        break;
    default:
        // An event with more rows than are looked at: from its first one.
        rows = Forward<Row>(start, 0, count);
        break;
    }
    read.Commit();
    return rows;
}

template QVector<JoinedRow> CZq6Set::FetchRows(qint64, int);
template QVector<ListRow> CZq6Set::FetchRows(qint64, int);
template QVector<JoinedRow> CZq6Set::FetchFromEvent(qint64, int);
template QVector<ListRow> CZq6Set::FetchFromEvent(qint64, int);
template QVector<JoinedRow> CZq6Set::FetchLast(int);
template QVector<ListRow> CZq6Set::FetchLast(int);

qint64 CZq6Set::RowOfEvent(qint64 eventIndex)
{
    RequireOpen("Fetching rows");
    if (!IsCounted() || m_marks.isEmpty())
        return 0;
    // The last mark on a row before the first row of the event.
    const auto after =
        std::partition_point(m_marks.cbegin(), m_marks.cend(), [&](const JoinMark& m) {
            return m.eventIndex < eventIndex || (m.eventIndex == eventIndex && m.skip == 0);
        });
    qint64 base = 0;
    qint64 from = std::numeric_limits<qint64>::min();
    if (after != m_marks.cbegin()) {
        const qint64 markNo = (after - m_marks.cbegin()) - 1;
        const JoinMark mark = m_marks.at(markNo);
        base = markNo * kMarkStride - mark.skip;
        from = mark.eventIndex;
    }
    PreparedQuery& q = Prepared().between;
    const auto finish = qScopeGuard([&q] { q.Finish(); });
    q.Exec({from, eventIndex});
    const qint64 rows = q.Next() ? q.Int64(0) : 0;
    return std::min(base + rows, m_rowCount);
}
