#include "view/rowselection.h"

#include <algorithm>
#include <limits>

namespace {

// A run's lower end before another's: an open end lies just after its row.
bool startsBefore(const RowSelection::Run& a, const RowSelection::Run& b)
{
    if (a.from == b.from)
        return !a.fromOpen && b.fromOpen;
    return a.from < b.from;
}

// Whether b begins within a or right where a ends (the same row, taken by
// one of them), so that the two are one run.
bool meets(const RowSelection::Run& a, const RowSelection::Run& b)
{
    if (b.from < a.to)
        return true;
    return b.from == a.to && !(a.toOpen && b.fromOpen);
}

} // namespace

bool RowSelection::Run::Contains(const JoinMark& row) const
{
    const bool afterFrom = fromOpen ? from < row : !(row < from);
    const bool beforeTo = toOpen ? row < to : !(to < row);
    return afterFrom && beforeTo;
}

bool RowSelection::Run::IsEmpty() const
{
    return to < from || (from == to && (fromOpen || toOpen));
}

bool RowSelection::Contains(const JoinMark& row) const
{
    return std::any_of(m_runs.cbegin(), m_runs.cend(),
                       [&row](const Run& run) { return run.Contains(row); });
}

void RowSelection::Select(const JoinMark& a, const JoinMark& b, bool add)
{
    if (!add)
        m_runs.clear();
    Add(b < a ? Run{b, false, a, false} : Run{a, false, b, false});
}

void RowSelection::SelectAll()
{
    m_runs = {Run{{std::numeric_limits<qint64>::min(), 0},
                  false,
                  {std::numeric_limits<qint64>::max(), std::numeric_limits<int>::max()},
                  false}};
}

void RowSelection::Toggle(const JoinMark& row)
{
    if (Contains(row))
        Remove(row);
    else
        Add({row, false, row, false});
}

void RowSelection::Remove(const JoinMark& row)
{
    QVector<Run> kept;
    kept.reserve(m_runs.size() + 1);
    for (const Run& run : std::as_const(m_runs)) {
        if (!run.Contains(row)) {
            kept.append(run);
            continue;
        }
        // The rows before it and the rows after it.
        for (const Run& part :
             {Run{run.from, run.fromOpen, row, true}, Run{row, true, run.to, run.toOpen}}) {
            if (!part.IsEmpty())
                kept.append(part);
        }
    }
    m_runs = std::move(kept);
}

void RowSelection::Add(Run run)
{
    if (run.IsEmpty())
        return;
    m_runs.append(run);
    std::sort(m_runs.begin(), m_runs.end(), startsBefore);
    // Runs that overlap or meet become one.
    QVector<Run> merged;
    merged.reserve(m_runs.size());
    for (const Run& next : std::as_const(m_runs)) {
        if (!merged.isEmpty() && meets(merged.last(), next)) {
            Run& last = merged.last();
            if (last.to < next.to || (last.to == next.to && last.toOpen)) {
                last.to = next.to;
                last.toOpen = next.toOpen;
            }
            continue;
        }
        merged.append(next);
    }
    m_runs = std::move(merged);
}
