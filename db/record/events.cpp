#include "db/record/events.h"

#include "db/backend/dbexception.h"
#include "db/backend/serverhandle.h"
#include "db/backend/sqlitehandle.h"
#include "db/record/database.h"
#include "db/record/eventcopy.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <memory>
#include <sqlite3.h>

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
    QSqlQuery last =
        m_pDatabase->Prepare(QStringLiteral("SELECT ") + BoundColumns().join(QStringLiteral(", ")) +
                             QStringLiteral(" FROM [EVENTS] ORDER BY [INDEX] DESC LIMIT 1"));
    CDatabase::Exec(last);
    if (!last.next()) {
        if (last.lastError().isValid())
            throw CDBException(last.lastError().text());
        throw CDBException(QStringLiteral("MoveLast on an empty table."));
    }
    DoFieldExchange(ValuesOf(last, m_nFields));
}

bool CEVENTS::CanAppend() const
{
    return IsOpen() && m_pDatabase->CanInsertEvents();
}

void CEVENTS::AddNew()
{
    RequireOpen("AddNew");
    m_INDEX = 0;
    m_TIMER = 0;
    m_DATE = CTime();
    m_USER_NO = 0;
    m_BUTTON.clear();
    m_bAdding = true;
}

void CEVENTS::Update()
{
    RequireOpen("Update");
    if (!m_bAdding)
        throw CDBException(QStringLiteral("Update without AddNew."));
    m_bAdding = false;
    // The date goes in as text: a bound date-time would be stored in another
    // form and no longer compare with the USERS periods.
    if (!m_bInsertPrepared) {
        m_insert = m_pDatabase->Prepare(QStringLiteral(
            "INSERT INTO [EVENTS] ([TIMER], [DATE], [USER_NO], [BUTTON]) VALUES (?, ?, ?, ?)"));
        m_bInsertPrepared = true;
    }
    m_insert.bindValue(0, m_TIMER);
    m_insert.bindValue(1, m_DATE.ToDbText());
    m_insert.bindValue(2, m_USER_NO);
    m_insert.bindValue(3, m_BUTTON);
    CDatabase::Exec(m_insert);
    // Not every driver can tell the number (ODBC cannot): then MoveLast does.
    const QSqlDriver* driver = m_pDatabase->Handle().driver();
    m_INDEX = driver && driver->hasFeature(QSqlDriver::LastInsertId)
                  ? m_insert.lastInsertId().toInt()
                  : 0;
}

void CEVENTS::Close()
{
    m_insert = QSqlQuery();
    m_bInsertPrepared = false;
    m_bAdding = false;
    CRecordset::Close();
}

void CEVENTS::InsertWithSqlite(sqlite3* handle, const QVector<NewEvent>& events)
{
    RequireOpen("Update");
    auto fail = [handle] {
        // Worded as the Qt driver words a failed statement.
        throw CDBException(SqliteFailure(handle, QString::fromUtf8(sqlite3_errmsg(handle)) +
                                                     QStringLiteral(" Unable to fetch row")));
    };
    static const char kInsert[] =
        "INSERT INTO [EVENTS] ([TIMER], [DATE], [USER_NO], [BUTTON]) VALUES (?, ?, ?, ?)";
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(handle, kInsert, sizeof kInsert - 1, &statement, nullptr) != SQLITE_OK)
        fail();
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> finalize(statement,
                                                                         sqlite3_finalize);
    DbTextWriter dates;
    for (const NewEvent& e : events) {
        // Stored as the Qt driver binds the values: null strings as NULL, an
        // invalid date as NULL, the date as text.
        char date[DbTextWriter::kMaxSize];
        const qsizetype dateSize = dates.Write(e.date, date);
        sqlite3_bind_int(statement, 1, e.timer);
        if (dateSize > 0)
            sqlite3_bind_text(statement, 2, date, int(dateSize), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(statement, 2);
        sqlite3_bind_int(statement, 3, e.userNo);
        if (e.button.isNull())
            sqlite3_bind_null(statement, 4);
        else
            sqlite3_bind_text16(statement, 4, e.button.utf16(), int(e.button.size() * 2),
                                SQLITE_TRANSIENT);
        if (sqlite3_step(statement) != SQLITE_DONE)
            fail();
        sqlite3_reset(statement);
    }
    SetAppended(events);
    if (!events.isEmpty())
        m_INDEX = qint32(sqlite3_last_insert_rowid(handle));
}

void CEVENTS::SetAppended(const QVector<NewEvent>& events)
{
    // The server does not say the number of a row it numbered.
    m_INDEX = 0;
    if (!events.isEmpty()) {
        const NewEvent& last = events.constLast();
        m_TIMER = last.timer;
        m_DATE = last.date;
        m_USER_NO = last.userNo;
        m_BUTTON = last.button;
    }
    m_bAdding = false;
}

namespace {

// One value read in the transaction under way.
QVariant scalar(const CDatabase& db, const QString& sql)
{
    QSqlQuery q(db.Handle());
    if (!q.exec(db.GetDialect().Sql(sql)) || !q.next())
        throw CDBException(q.lastError().text());
    return q.value(0);
}

} // namespace

qint64 AppendEventBatch(CEVENTS& record, const QVector<NewEvent>& events)
{
    CDatabase* db = record.GetDatabase();
    sqlite3* handle = db->IsOpen() ? SqliteHandle(db->Handle()) : nullptr;
    if (handle) {
        // The file's write lock at once (waiting for it as any write does):
        // the newest row read below stays the newest until this commits, and
        // a lock taken to read first could not wait for a writer to finish.
        if (sqlite3_exec(handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw CDBException(QString::fromUtf8(sqlite3_errmsg(handle)) +
                               QStringLiteral(" Unable to begin transaction"));
    } else {
        db->BeginTrans();
    }
    try {
        // On a server the transaction's snapshot keeps out rows that others
        // commit meanwhile.
        const QVariant newest = scalar(*db, QStringLiteral("SELECT max([INDEX]) FROM [EVENTS]"));
        if (handle) {
            record.InsertWithSqlite(handle, events);
        } else if (pg_conn* server = ServerHandle(db->Handle())) {
            CopyEventsToServer(server, events);
            record.SetAppended(events);
        } else {
            for (const NewEvent& e : events) {
                record.AddNew();
                record.m_TIMER = e.timer;
                record.m_DATE = e.date;
                record.m_USER_NO = e.userNo;
                record.m_BUTTON = e.button;
                record.Update();
            }
        }
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
