#pragma once

#include "db/ctime.h"
#include "db/joinstamp.h"
#include "db/recordset.h"

#include <QVector>

// One row of the events joined with the user valid at each event's date.
struct JoinedRow
{
    qint32 eventIndex = 0;
    qint32 timer = 0;
    CTime date;
    qint32 userNo = 0;
    QString button;
    qint32 userIndex = 0;
    QString name; // empty when no user matches
    qint32 userUserNo = 0;
    CTime dateStart;
    CTime dateStop;
};

// The joined event set: every event with the user who held its user number at
// the event's date (one row per matching user, one row with an empty name when
// none matches).
//
// Besides the cursor, it offers random access by row number for the list:
// CountRows() walks the set once and keeps a mark every kMarkStride rows, so
// FetchRows() reads at most kMarkStride rows before the ones asked for,
// wherever they are. The marks hold only while the rows they were counted on
// stay as they were: UpdateRowCount() finds out what changed since (see
// JoinStamp) and counts on from the last mark when events were only
// appended, from the start otherwise.
class CZq6Set : public CRecordset
{
public:
    static constexpr int kMarkStride = 128;

    explicit CZq6Set(CDatabase* pDatabase);

    QString GetDefaultSQL() const override;
    void Close() override;

    // Counts from the start.
    qint64 CountRows();
    // Counts again after the database may have changed, whoever changed it.
    qint64 UpdateRowCount();
    qint64 GetRowCount() const { return m_rowCount; }
    // Changes whenever the rows were counted anew, wherever it happened.
    quint64 GetCountSerial() const { return m_countSerial; }
    // Rows first .. first + count - 1 in event INDEX order (fewer at the
    // end). The rows come from marks that match the database: when something
    // other than an append has changed since the count, the rows are counted
    // again first, and GetRowCount() tells the new number.
    QVector<JoinedRow> FetchRows(qint64 first, int count);

    qint32 m_INDEX = 0;
    qint32 m_TIMER = 0;
    CTime m_DATE;
    qint32 m_USER_NO = 0;
    QString m_BUTTON;
    qint32 m_INDEX2 = 0;
    QString m_NAME;
    qint32 m_USER_NO2 = 0;
    CTime m_DATE_START;
    CTime m_DATE_STOP;

protected:
    QStringList BoundColumns() const override;
    void DoFieldExchange(const RowValues& row) override;

private:
    struct Mark
    {
        qint64 eventIndex; // the event of the marked row
        int skip;          // rows of that event before the marked row
    };

    void Count(JoinChange change, const JoinStamp& now);
    void CountFrom(int markNo);
    QVector<JoinedRow> ReadRows(qint64 first, int count);

    QVector<Mark> m_marks;
    qint64 m_rowCount = 0;
    quint64 m_countSerial = 0;
    JoinStamp m_counted; // what the marks were counted on
    JoinStamp m_checked; // the database as last found to still fit the marks
};
