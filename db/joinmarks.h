#pragma once

#include "db/eventfilter.h"

#include <QString>
#include <QVector>
#include <atomic>

class CDatabase;

// A known place in the joined rows: the row is the skip-th (from 0) of the
// rows of its event.
struct JoinMark
{
    qint64 eventIndex = 0;
    int skip = 0;
};

// Walks the rows of the join (a FROM clause, rows in event INDEX then user
// INDEX order) from the first row of event fromEvent (from the start when
// fromEvent < 0) and of the rows where passes (empty: all), that row numbered
// firstRow, and appends a mark for every row
// whose number is a multiple of stride. Returns the number of the row after
// the last one, or -1 when *cancel was set meanwhile. Throws CDBException.
qint64 WalkJoinMarks(const CDatabase& db, const QString& join, qint64 fromEvent, qint64 firstRow,
                     int stride, QVector<JoinMark>& marks,
                     const std::atomic<bool>* cancel = nullptr, const FilterWhere& where = {});
