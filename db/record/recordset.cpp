#include "db/record/recordset.h"

#include "db/backend/connectstring.h"
#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/dbstate.h"
#include "db/record/preparedquery.h"

#include <QRegularExpression>

namespace {

// Sort texts name columns as EVENTS.INDEX or [EVENTS].[INDEX]; INDEX is a
// keyword of SQL, so bare names are bracketed before they reach the database.
QString quoteSortText(const QString& sort)
{
    static const QRegularExpression bare(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    QStringList terms;
    for (const QString& term : sort.split(QLatin1Char(','))) {
        QStringList words = term.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        QStringList parts = words.first().split(QLatin1Char('.'));
        for (QString& part : parts) {
            if (bare.match(part).hasMatch())
                part = QLatin1Char('[') + part + QLatin1Char(']');
        }
        words.first() = parts.join(QLatin1Char('.'));
        terms << words.join(QLatin1Char(' '));
    }
    return terms.join(QStringLiteral(", "));
}

// The bytes a value's text or bytes take.
qsizetype textBytes(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return qsizetype(sizeof(QChar)) * value.toString().size();
    case QMetaType::QByteArray:
        return value.toByteArray().size();
    default:
        return 0;
    }
}

} // namespace

RowValues ValuesOf(const PreparedQuery& query, int columns)
{
    RowValues values(columns);
    for (int i = 0; i < columns; ++i)
        values[i] = query.Value(i);
    return values;
}

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
        sql += QStringLiteral(" ORDER BY ") + quoteSortText(m_strSort);
    return sql;
}

void CRecordset::Open(int nOpenType)
{
    if (m_bOpen)
        throw CDBException(QStringLiteral("The recordset is already open."));
    if (!m_pDatabase->IsOpen())
        m_pDatabase->Open(OpenDbLocation());
    m_bOpen = true;
    if (nOpenType == unread) {
        m_page.clear();
        m_bBOF = m_bEOF = true;
        return;
    }
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
        throw CDBException(
            QStringLiteral("%1 on a recordset that is not open.").arg(QLatin1String(operation)));
}

void CRecordset::Requery()
{
    RequireOpen("Requery");
    LoadPage(0);
    m_bBOF = m_bEOF;
}

void CRecordset::LoadPage(qint64 offset)
{
    // Made for each page: the numbers are our own, and on a server a
    // statement made and run once is one round trip.
    if (!m_pDatabase->IsOpen())
        throw CDBException(QStringLiteral("The database is not connected."));
    PreparedQuery query(*m_pDatabase,
                        SelectStatement() +
                            QStringLiteral(" LIMIT %1 OFFSET %2").arg(kPageRows).arg(offset));
    query.Exec();
    const int columns = static_cast<int>(BoundColumns().size());
    m_page.clear();
    m_pageCut = false;
    qsizetype bytes = 0;
    while (query.Next()) {
        m_page.append(ValuesOf(query, columns));
        for (const QVariant& value : m_page.last())
            bytes += textBytes(value);
        if (bytes >= kPageBytes && m_page.size() < kPageRows) {
            m_pageCut = true;
            break;
        }
    }
    query.Finish();
    m_pageOffset = offset;
    m_current = 0;
    m_bEOF = m_page.isEmpty();
    if (!m_bEOF)
        DoFieldExchange(m_page.first());
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
    if (++m_current < m_page.size()) {
        DoFieldExchange(m_page.at(m_current));
        return;
    }
    if (m_page.size() < kPageRows && !m_pageCut) {
        m_bEOF = true;
        return;
    }
    LoadPage(m_pageOffset + m_page.size());
}

void CRecordset::Close()
{
    m_page.clear();
    m_bOpen = false;
    m_bBOF = m_bEOF = true;
}
