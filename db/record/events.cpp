#include "db/record/events.h"

#include "db/backend/dbexception.h"
#include "db/backend/sqliteconnection.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"

CEVENTS::CEVENTS(CDatabase* pDatabase) : CRecordset(pDatabase)
{
    m_nFields = 5;
    m_nDefaultType = dynaset;
}

QString CEVENTS::GetDefaultSQL() const
{
    return QStringLiteral("[EVENTS]");
}

QStringList CEVENTS::BoundColumns() const
{
    return {QStringLiteral("[INDEX]"), QStringLiteral("[TIMER]"), QStringLiteral("[DATE]"),
            QStringLiteral("[USER_NO]"), QStringLiteral("[BUTTON]")};
}

void CEVENTS::DoFieldExchange(const RowValues& row)
{
    m_INDEX = row.at(0).toInt();
    m_TIMER = row.at(1).toInt();
    m_DATE = CTime::FromDbText(row.at(2).toString());
    m_USER_NO = row.at(3).toInt();
    m_BUTTON = row.at(4).toString();
}

void CEVENTS::MoveLast()
{
    RequireOpen("MoveLast");
    PreparedQuery last(*m_pDatabase,
                       QStringLiteral("SELECT ") + BoundColumns().join(QStringLiteral(", ")) +
                           QStringLiteral(" FROM [EVENTS] ORDER BY [INDEX] DESC LIMIT 1"));
    last.Exec();
    if (!last.Next())
        throw CDBException(QStringLiteral("MoveLast on an empty table."));
    DoFieldExchange(ValuesOf(last, m_nFields));
    last.Finish();
}

bool CEVENTS::CanAppend() const
{
    return IsOpen() && m_pDatabase->CanInsertEvents();
}

void CEVENTS::SetAppended(const QVector<NewEvent>& events, qint64 lastIndex)
{
    m_INDEX = qint32(lastIndex);
    if (!events.isEmpty()) {
        const NewEvent& last = events.constLast();
        m_TIMER = last.timer;
        m_DATE = last.date;
        m_USER_NO = last.userNo;
        m_BUTTON = last.button;
    }
}

namespace {

// One value read in the transaction under way.
QVariant scalar(const CDatabase& db, const QString& sql)
{
    PreparedQuery q(db, sql);
    q.Exec();
    if (!q.Next())
        throw CDBException(QStringLiteral("No result from: ") + sql);
    QVariant value = q.Value(0);
    q.Finish();
    return value;
}

// The events as the backend's writer takes them: stored as a prepared
// INSERT binding them would store them, an invalid date and a null button
// as NULL, the date as text.
void write(RowWriter& writer, const QVector<NewEvent>& events)
{
    DbTextWriter dates;
    for (const NewEvent& e : events) {
        char date[DbTextWriter::kMaxSize];
        const qsizetype dateSize = dates.Write(e.date, date);
        writer.Integer(e.timer);
        if (dateSize > 0)
            writer.Text(QByteArrayView(date, dateSize));
        else
            writer.Null();
        writer.Integer(e.userNo);
        if (e.button.isNull())
            writer.Null();
        else
            writer.Text(QStringView(e.button));
        writer.EndRow();
    }
    writer.Finish();
}

} // namespace

qint64 AppendEventBatch(CEVENTS& record, const QVector<NewEvent>& events)
{
    if (!record.IsOpen())
        throw CDBException(QStringLiteral("Update on a recordset that is not open."));
    CDatabase* db = record.GetDatabase();
    Connection& connection = db->GetConnection();
    // On a file the write lock at once (waiting for it as any write does):
    // the newest row read below stays the newest until this commits, and a
    // lock taken to read first could not wait for a writer to finish. On a
    // server the transaction's snapshot keeps out rows that others commit
    // meanwhile.
    connection.BeginWrite();
    try {
        const QVariant newest = scalar(*db, QStringLiteral("SELECT max([INDEX]) FROM [EVENTS]"));
        write(*connection.AppendRows(QStringLiteral("EVENTS"),
                                     {QStringLiteral("TIMER"), QStringLiteral("DATE"),
                                      QStringLiteral("USER_NO"), QStringLiteral("BUTTON")}),
              events);
        // Only SQLite tells the number it gave the last row.
        const SqliteConnection* file = db->Sqlite();
        record.SetAppended(events, file && !events.isEmpty() ? file->LastInsertId() : 0);
        const qint64 stored =
            scalar(*db, newest.isNull()
                            ? QStringLiteral("SELECT count(*) FROM [EVENTS]")
                            : QStringLiteral("SELECT count(*) FROM [EVENTS] WHERE [INDEX] > %1")
                                  .arg(newest.toLongLong()))
                .toLongLong();
        db->AnnounceStoredEvents();
        db->CommitTrans();
        return stored;
    } catch (...) {
        db->Rollback();
        throw;
    }
}
