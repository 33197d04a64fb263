#include "db/zq6set.h"

#include "db/database.h"
#include "db/dbexception.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <utility>

namespace {

// Rows of one event come in a fixed order, so that row numbers stay put.
const QString kWindowOrder = QStringLiteral(" ORDER BY [EVENTS].[INDEX], [USERS].[INDEX]");

JoinedRow readRow(const RowValues& q)
{
    JoinedRow r;
    r.eventIndex = q.at(0).toInt();
    r.timer = q.at(1).toInt();
    r.date = CTime::FromDbText(q.at(2).toString());
    r.userNo = q.at(3).toInt();
    r.button = q.at(4).toString();
    r.userIndex = q.at(5).toInt();
    r.name = q.at(6).toString();
    r.userUserNo = q.at(7).toInt();
    r.dateStart = CTime::FromDbText(q.at(8).toString());
    r.dateStop = CTime::FromDbText(q.at(9).toString());
    return r;
}

void failOnError(const QSqlQuery& q)
{
    if (q.lastError().isValid())
        throw CDBException(q.lastError().text());
}

// Everything read inside one sees the same state of the file, so that the
// marks and the stamp of a count, or the check and the rows of a fetch, agree.
class ReadTransaction
{
public:
    explicit ReadTransaction(CDatabase* db) : m_db(db)
    {
        if (!m_db->IsOpen())
            throw CDBException(QStringLiteral("The database is not connected."));
        m_db->BeginTrans();
    }
    ~ReadTransaction()
    {
        if (m_db)
            m_db->Rollback();
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;
    void Commit() { std::exchange(m_db, nullptr)->CommitTrans(); }

private:
    CDatabase* m_db;
};

} // namespace

CZq6Set::CZq6Set(CDatabase* pDatabase) : CRecordset(pDatabase)
{
    m_nFields = 10;
    m_nDefaultType = dynaset;
}

QString CZq6Set::GetDefaultSQL() const
{
    return QStringLiteral("[EVENTS] LEFT OUTER JOIN [USERS] ON EVENTS.USER_NO = USERS.USER_NO AND "
                          "EVENTS.DATE > USERS.DATE_START AND EVENTS.DATE < USERS.DATE_STOP");
}

QStringList CZq6Set::BoundColumns() const
{
    return {QStringLiteral("[EVENTS].[INDEX]"),     QStringLiteral("[EVENTS].[TIMER]"),
            QStringLiteral("[EVENTS].[DATE]"),      QStringLiteral("[EVENTS].[USER_NO]"),
            QStringLiteral("[EVENTS].[BUTTON]"),    QStringLiteral("[USERS].[INDEX]"),
            QStringLiteral("[USERS].[NAME]"),       QStringLiteral("[USERS].[USER_NO]"),
            QStringLiteral("[USERS].[DATE_START]"), QStringLiteral("[USERS].[DATE_STOP]")};
}

void CZq6Set::DoFieldExchange(const RowValues& row)
{
    const JoinedRow r = readRow(row);
    m_INDEX = r.eventIndex;
    m_TIMER = r.timer;
    m_DATE = r.date;
    m_USER_NO = r.userNo;
    m_BUTTON = r.button;
    m_INDEX2 = r.userIndex;
    m_NAME = r.name;
    m_USER_NO2 = r.userUserNo;
    m_DATE_START = r.dateStart;
    m_DATE_STOP = r.dateStop;
}

void CZq6Set::Close()
{
    m_marks.clear();
    m_rowCount = 0;
    m_counted = m_checked = JoinStamp();
    CRecordset::Close();
}

qint64 CZq6Set::CountRows()
{
    RequireOpen("Counting rows");
    ReadTransaction read(m_pDatabase);
    Count(JoinChange::Other, JoinStamp::Take(*m_pDatabase));
    read.Commit();
    return m_rowCount;
}

qint64 CZq6Set::UpdateRowCount()
{
    RequireOpen("Counting rows");
    ReadTransaction read(m_pDatabase);
    JoinStamp now;
    const JoinChange change = m_counted.ChangeSince(*m_pDatabase, &now);
    Count(change, now);
    read.Commit();
    return m_rowCount;
}

void CZq6Set::Count(JoinChange change, const JoinStamp& now)
{
    // The stamps are valid only while the marks are.
    m_counted = m_checked = JoinStamp();
    if (change != JoinChange::None)
        ++m_countSerial;
    try {
        if (change == JoinChange::Appended && !m_marks.isEmpty()) {
            CountFrom(static_cast<int>(m_marks.size()) - 1);
        } else if (change != JoinChange::None) {
            m_marks.clear();
            m_rowCount = 0;
            CountFrom(-1);
        }
    } catch (...) {
        m_marks.clear();
        m_rowCount = 0;
        throw;
    }
    m_counted = m_checked = now;
}

void CZq6Set::CountFrom(int markNo)
{
    QString sql = QStringLiteral("SELECT [EVENTS].[INDEX] FROM ") + GetDefaultSQL();
    qint64 row = 0;
    qint64 lastEvent = 0;
    int run = 0;
    if (markNo >= 0) {
        const Mark mark = m_marks.at(markNo);
        sql += QStringLiteral(" WHERE [EVENTS].[INDEX] >= ?");
        // Start at the first row of the marked event.
        row = qint64(markNo) * kMarkStride - mark.skip;
        m_marks.resize(markNo);
        lastEvent = mark.eventIndex;
    }
    QSqlQuery q = m_pDatabase->Prepare(sql + kWindowOrder);
    q.setForwardOnly(true);
    if (markNo >= 0)
        q.addBindValue(lastEvent);
    CDatabase::Exec(q);
    bool first = true;
    while (q.next()) {
        const qint64 event = q.value(0).toLongLong();
        run = (!first && event == lastEvent) ? run + 1 : 0;
        first = false;
        lastEvent = event;
        if (row % kMarkStride == 0)
            m_marks.append({event, run});
        ++row;
    }
    failOnError(q);
    m_rowCount = row;
}

QVector<JoinedRow> CZq6Set::FetchRows(qint64 first, int count)
{
    RequireOpen("Fetching rows");
    if (first < 0 || count <= 0 || !m_counted.IsValid())
        return {};
    ReadTransaction read(m_pDatabase);
    JoinStamp now;
    // Appended events leave the counted rows where they were; they are
    // counted at the next update.
    if (m_checked.ChangeSince(*m_pDatabase, &now) == JoinChange::Other)
        Count(JoinChange::Other, now);
    else
        m_checked = now;
    const QVector<JoinedRow> rows =
        first < m_rowCount
            ? ReadRows(first, static_cast<int>(std::min<qint64>(count, m_rowCount - first)))
            : QVector<JoinedRow>();
    read.Commit();
    return rows;
}

QVector<JoinedRow> CZq6Set::ReadRows(qint64 first, int count)
{
    const qint64 markNo = std::min<qint64>(first / kMarkStride, m_marks.size() - 1);
    const Mark mark = m_marks.at(markNo);
    const qint64 skip = mark.skip + (first - markNo * kMarkStride);

    QSqlQuery q = m_pDatabase->Prepare(
        QStringLiteral("SELECT ") + BoundColumns().join(QStringLiteral(", ")) +
        QStringLiteral(" FROM ") + GetDefaultSQL() +
        QStringLiteral(" WHERE [EVENTS].[INDEX] >= ?") + kWindowOrder + QStringLiteral(" LIMIT ?"));
    q.setForwardOnly(true);
    q.addBindValue(mark.eventIndex);
    q.addBindValue(skip + count);
    CDatabase::Exec(q);
    QVector<JoinedRow> rows;
    rows.reserve(count);
    for (qint64 i = 0; q.next(); ++i) {
        if (i >= skip)
            rows.append(readRow(ValuesOf(q, m_nFields)));
    }
    failOnError(q);
    return rows;
}
