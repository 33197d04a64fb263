#include "db/recordset.h"

#include "db/connectstring.h"
#include "db/database.h"
#include "db/dbexception.h"
#include "db/dbstate.h"

#include <QSqlError>

CRecordset::CRecordset(CDatabase* pDatabase) : m_pDatabase(pDatabase) {}

CRecordset::~CRecordset() = default;

QString CRecordset::GetDefaultConnect() const
{
    return BuildConnectString(g_strDbPath);
}

QString CRecordset::SelectStatement() const
{
    QString sql = QStringLiteral("SELECT ") + BoundColumns().join(QStringLiteral(", ")) +
                  QStringLiteral(" FROM ") + GetDefaultSQL();
    if (!m_strSort.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + m_strSort;
    return sql;
}

void CRecordset::Open(int /*nOpenType*/)
{
    if (m_bOpen)
        throw CDBException(QStringLiteral("The recordset is already open."));
    if (!m_pDatabase->IsOpen())
        m_pDatabase->OpenFile(g_strDbPath);
    m_bOpen = true;
    try {
        Requery();
    } catch (...) {
        Close();
        throw;
    }
}

void CRecordset::RequireOpen(const char* operation) const
{
    if (!m_bOpen)
        throw CDBException(QStringLiteral("%1 on a recordset that is not open.")
                               .arg(QLatin1String(operation)));
}

void CRecordset::Requery()
{
    RequireOpen("Requery");
    m_query = m_pDatabase->Prepare(SelectStatement());
    m_query.setForwardOnly(true);
    CDatabase::Exec(m_query);
    Fetch();
    m_bBOF = m_bEOF;
}

void CRecordset::Fetch()
{
    if (m_query.next()) {
        m_bEOF = false;
        DoFieldExchange(m_query);
        return;
    }
    if (m_query.lastError().isValid())
        throw CDBException(m_query.lastError().text());
    m_bEOF = true;
    m_query.finish();
}

void CRecordset::MoveFirst()
{
    Requery();
}

void CRecordset::MoveNext()
{
    RequireOpen("MoveNext");
    if (m_bEOF)
        throw CDBException(QStringLiteral("MoveNext past the last row."));
    Fetch();
}

void CRecordset::Close()
{
    m_query = QSqlQuery();
    m_bOpen = false;
    m_bBOF = m_bEOF = true;
}
