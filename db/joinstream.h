#pragma once

#include "db/backend/statement.h"
#include "db/eventfilter.h"

#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <functional>

class CDatabase;

// One row of the joined event set while it is streamed; valid only during
// the call that receives it.
class JoinedRowValues
{
public:
    enum Column
    {
        EventIndex,
        Timer,
        Date,
        UserNo,
        Button,
        Name, // null when no user matches
        ColumnCount
    };

    explicit JoinedRowValues(const ResultRow& row) : m_row(row) {}

    // The value exactly as QSqlQuery::value() gave it.
    QVariant Value(Column column) const { return m_row.Value(column); }
    bool IsNull(Column column) const { return m_row.IsNull(column); }
    // Quick access, where the backend allows it: the UTF-8 bytes of a text
    // value (false for any other type), or a whole-number value (false
    // otherwise).
    bool Text(Column column, QByteArrayView* text) const { return m_row.TextBytes(column, text); }
    bool Integer(Column column, qint64* value) const
    {
        if (m_row.Type(column) != ValueType::Integer)
            return false;
        *value = m_row.Int64(column);
        return true;
    }

private:
    const ResultRow& m_row;
};

// Which rows to walk; see EventFilter.
using JoinFilter = EventFilter;

// Walks every event joined with the users who held its user number at its
// date, once and forward, in the order of the list (event INDEX, then user
// INDEX), with one statement: what is read is one state of the file. onRow
// returns false to stop early. Throws CDBException.
void StreamJoinedRows(CDatabase& db, const std::function<bool(const JoinedRowValues&)>& onRow,
                      const JoinFilter& filter = {});

// The pieces of the walk's statement, for queries over the same rows: the
// join (what follows FROM) and the filter's condition (" WHERE ...", empty
// without one) with its values, in the program's bracketed names.
struct JoinSql
{
    QString from;
    QString where;
    QVariantList values;
};
JoinSql JoinSqlFor(CDatabase& db, const JoinFilter& filter);
