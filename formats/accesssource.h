#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

// The kinds of column an Access table can have.
enum class AccessType
{
    Boolean,
    Byte,
    Integer,     // 16 bits
    LongInteger, // 32 bits, also what an AutoNumber column is
    Currency,
    Single,
    Double,
    DateTime,
    Binary,
    Text,
    Ole,
    Memo,
    ReplicationId,
    Numeric,
    Other,
};

struct AccessColumn
{
    QString name;
    AccessType type = AccessType::Other;
    QString typeName; // as Access names it, for messages
};

// One row while it is read: the values in column order, a null string for
// NULL. Whole numbers are in decimal, date-times "YYYY-MM-DD HH:MM:SS" with
// the calendar fields exactly as stored (Access keeps no time zone).
using AccessRow = QVector<QString>;

// The tables of an Access database, which is only ever read. Every call may
// throw CDBException.
class AccessTableSource
{
public:
    virtual ~AccessTableSource() = default;

    virtual QStringList Tables() = 0;
    virtual QVector<AccessColumn> Columns(const QString& table) = 0;
    // How many rows the table holds, for progress; -1 when unknown.
    virtual qint64 RowCount(const QString& table) = 0;
    // Every row in stored order, one at a time; onRow returns false to stop.
    virtual void ReadRows(const QString& table,
                          const std::function<bool(const AccessRow&)>& onRow) = 0;
};
