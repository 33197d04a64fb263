#include "formats/reportsnapshot.h"

#include "db/backend/dbexception.h"
#include "db/record/database.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

ServerSnapshot::ServerSnapshot(CDatabase& db, const QString& snapshot) : m_db(db)
{
    begin(snapshot);
}

ServerSnapshot::~ServerSnapshot()
{
    m_db.Rollback();
}

QString ServerSnapshot::Export()
{
    QSqlQuery q(m_db.Handle());
    if (q.exec(QStringLiteral("SELECT pg_export_snapshot()")) && q.next())
        return q.value(0).toString();
    m_db.Rollback();
    begin({});
    return {};
}

void ServerSnapshot::begin(const QString& snapshot)
{
    m_db.BeginTrans();
    QString sql = QStringLiteral("SET TRANSACTION READ ONLY; SET LOCAL work_mem = '32MB'");
    // The name is the server's own (hexadecimal digits and dashes).
    static const QRegularExpression kName(QStringLiteral("^[0-9A-Fa-f-]+$"));
    if (!snapshot.isEmpty()) {
        if (!kName.match(snapshot).hasMatch()) {
            m_db.Rollback();
            throw CDBException(QStringLiteral("The server named its state in an unknown form."));
        }
        sql.prepend(QStringLiteral("SET TRANSACTION SNAPSHOT '") + snapshot +
                    QStringLiteral("'; "));
    }
    QSqlQuery q(m_db.Handle());
    if (!q.exec(sql)) {
        const QString error = q.lastError().text();
        m_db.Rollback();
        throw CDBException(error);
    }
}
