#include "formats/reportsnapshot.h"

#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"

#include <QRegularExpression>

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
    try {
        PreparedQuery q(m_db, QStringLiteral("SELECT pg_export_snapshot()"));
        q.Exec();
        if (q.Next())
            return q.Text(0);
    } catch (const CDBException&) {
    }
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
    try {
        m_db.Execute(sql);
    } catch (...) {
        m_db.Rollback();
        throw;
    }
}
