#pragma once

#include "db/joinmarks.h"

#include <QVector>
#include <optional>

// Rows of the list in list order: by event INDEX, then by the row's place
// among the rows of its event.
inline bool operator<(const JoinMark& a, const JoinMark& b)
{
    return a.eventIndex != b.eventIndex ? a.eventIndex < b.eventIndex : a.skip < b.skip;
}
inline bool operator==(const JoinMark& a, const JoinMark& b)
{
    return a.eventIndex == b.eventIndex && a.skip == b.skip;
}

// The rows the user selected in the list: runs of rows, each from one row to
// another, held by the rows' places (JoinMark) rather than their line numbers,
// so that rows appended meanwhile or a count that changes its mind do not
// move the selection. A run's ends may be open (the row itself left out),
// so that a row can be taken out of a run without knowing its neighbours.
// Its size does not depend on the number of rows selected.
class RowSelection
{
public:
    struct Run
    {
        JoinMark from;
        bool fromOpen = false;
        JoinMark to;
        bool toOpen = false;
        bool Contains(const JoinMark& row) const;
        bool IsEmpty() const;
    };

    bool IsEmpty() const { return m_runs.isEmpty(); }
    bool Contains(const JoinMark& row) const;
    // The runs in list order, none overlapping another.
    const QVector<Run>& Runs() const { return m_runs; }

    void Clear() { m_runs.clear(); }
    // Just this row, or the rows between a and b (both included, in either
    // order); with add, beside what is selected.
    void Select(const JoinMark& row, bool add = false) { Select(row, row, add); }
    void Select(const JoinMark& a, const JoinMark& b, bool add);
    // Every row of the list, also rows added later.
    void SelectAll();
    // Selects the row when it is not, takes it out when it is.
    void Toggle(const JoinMark& row);

private:
    void Remove(const JoinMark& row);
    void Add(Run run);

    QVector<Run> m_runs;
};
