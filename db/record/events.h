#pragma once

#include "db/record/ctime.h"
#include "db/record/recordset.h"

#include <QVector>

// One event to be appended to EVENTS; INDEX is numbered by the database.
struct NewEvent
{
    qint32 timer = 0;
    CTime date;
    qint32 userNo = 0;
    QString button;
};

// The event record: the rows of table EVENTS, through which events are
// appended.
class CEVENTS : public CRecordset
{
public:
    explicit CEVENTS(CDatabase* pDatabase);

    QString GetDefaultSQL() const override;

    // Makes the newest row (highest INDEX) current, read directly.
    void MoveLast();

    bool CanAppend() const;

    // The fields as the last of the events appended left them, INDEX as the
    // database told it (0 where it does not).
    void SetAppended(const QVector<NewEvent>& events, qint64 lastIndex);

    qint32 m_INDEX = 0;
    qint32 m_TIMER = 0;
    CTime m_DATE;
    qint32 m_USER_NO = 0;
    QString m_BUTTON;

protected:
    QStringList BoundColumns() const override;
    void DoFieldExchange(const RowValues& row) override;
};

// Appends the events in the given order, all of them or none. The record must
// be open. Returns how many rows the database holds of them at the commit:
// fewer than the events when a trigger dropped some (or more when one added
// rows), the rows after the newest one before them, counted in the same
// transaction.
qint64 AppendEventBatch(CEVENTS& record, const QVector<NewEvent>& events);
