#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/readtransaction.h"
#include "db/zq6set.h"

#include <QScopeGuard>
#include <algorithm>
#include <limits>
#include <type_traits>
#include <utility>

// The joined set's rows by number: read from the nearest mark or from the
// rows around the ones read last, and by event INDEX before the count is there.

namespace {

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

} // namespace

bool CZq6Set::StillChecked(const PreparedQuery& q, int at) const
{
    return m_checked.dataVersion >= 0 && q.Int64(at) == m_checked.dataVersion &&
           q.Int64(at + 1) == m_checked.ownChanges;
}

template <class Row>
QVector<Row> CZq6Set::Forward(JoinMark start, qint64 step, int count, QVector<JoinMark>* positions,
                              bool* checked)
{
    Statements& s = Prepared();
    constexpr bool listed = std::is_same_v<Row, ListRow>;
    PreparedQuery& q =
        checked ? (listed ? s.listedChecked : s.forwardChecked) : (listed ? s.listed : s.forward);
    // The version columns follow the row's own.
    constexpr int versionAt = listed ? 5 : 10;
    const auto finish = qScopeGuard([&q] { q.Finish(); });
    const qint64 skip = start.skip + step;
    Run(q, {start.eventIndex}, {skip + count + (positions ? 1 : 0)});
    QVector<Row> rows;
    rows.reserve(count);
    qint64 event = std::numeric_limits<qint64>::min();
    int inEvent = 0;
    bool anyRow = false;
    for (qint64 i = 0; q.Next(); ++i) {
        anyRow = true;
        // Every row carries them; the first tells for all, as one statement
        // reads one snapshot.
        if (checked && i == 0 && !StillChecked(q, versionAt)) {
            *checked = false;
            if (positions)
                positions->clear();
            return {};
        }
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
    // No row, nothing that tells.
    if (checked && !anyRow)
        *checked = false;
    return rows;
}

int CZq6Set::Before(qint64 eventIndex, qint64 n, JoinMark* position, QVector<JoinMark>* rows)
{
    PreparedQuery& q = Prepared().backward;
    const auto finish = qScopeGuard([&q] { q.Finish(); });
    Run(q, {eventIndex}, {n + kLookBehind});
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
    const auto isShort = [&](const QVector<Row>& rows) {
        return first + rows.size() < std::min<qint64>(first + count, m_rowCount);
    };
    // On a server one statement is one snapshot: the rows and the numbers
    // that tell whether the database is still as last checked, read together,
    // need no transaction around them, and cost one round trip. Anything
    // else, and any doubt, takes the way below.
    if (s.listedChecked.IsPrepared() && first < m_rowCount && m_checked.IsValid() &&
        m_checked.connection == s.connection) {
        bool checked = true;
        QVector<Row> rows = ReadRows<Row>(
            first, static_cast<int>(std::min<qint64>(count, m_rowCount - first)), &checked);
        if (checked && !isShort(rows)) {
            m_shortAfterRecount = false;
            return rows;
        }
    }
    ReadTransaction read(m_pDatabase);
    JoinStamp now;
    // At once, or for the list of a large set in the background: false.
    const auto countAgain = [&] {
        if (m_forList) {
            const EventSpan span = ReadEventSpan();
            if (!Small(span)) {
                read.Commit();
                DropCount();
                StartBackground(span);
                return false;
            }
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

template <class Row> QVector<Row> CZq6Set::ReadRows(qint64 first, int count, bool* checked)
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
        } else if (checked) {
            *checked = false; // a statement of its own first
            return {};
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
    QVector<Row> rows = Forward<Row>(start, first - startRow, count, &positions, checked);
    if (checked && !*checked)
        return {};
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
    Prepared(); // made before the transaction begins
    ReadTransaction read(m_pDatabase);
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

std::optional<JoinMark> CZq6Set::KnownMark(qint64 row) const
{
    if (!IsCounted() || !m_known.Has(row))
        return std::nullopt;
    return m_known.rows.at(row - m_known.first);
}

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
    Run(q, {from, eventIndex});
    const qint64 rows = q.Next() ? q.Int64(0) : 0;
    return std::min(base + rows, m_rowCount);
}
