#pragma once

#include "db/record/ctime.h"
#include "db/record/recordset.h"

#include <QVector>

struct sqlite3;

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
    // Clears the field members for a new row; Update() inserts them.
    void AddNew();
    void Update();
    void Close() override;

    // Inserts the events in order through the SQLite C interface, as Update()
    // would one by one, within the caller's transaction; the members hold the
    // last event afterwards.
    void InsertWithSqlite(sqlite3* handle, const QVector<NewEvent>& events);
    // The fields as the last of the events appended left them.
    void SetAppended(const QVector<NewEvent>& events);

    qint32 m_INDEX = 0;
    qint32 m_TIMER = 0;
    CTime m_DATE;
    qint32 m_USER_NO = 0;
    QString m_BUTTON;

protected:
    QStringList BoundColumns() const override;
    void DoFieldExchange(const RowValues& row) override;

private:
    bool m_bAdding = false;
    QSqlQuery m_insert;
    bool m_bInsertPrepared = false;
};

// Appends the events in the given order, all of them or none. The record must
// be open. Returns how many rows the database holds of them at the commit:
// fewer than the events when a trigger dropped some (or more when one added
// rows), the rows after the newest one before them, counted in the same
// transaction.
qint64 AppendEventBatch(CEVENTS& record, const QVector<NewEvent>& events);
