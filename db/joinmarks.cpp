#include "db/joinmarks.h"

#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"

#include <QStringList>

qint64 WalkJoinMarks(const CDatabase& db, const QString& join, qint64 fromEvent, qint64 firstRow,
                     int stride, QVector<JoinMark>& marks, const std::atomic<bool>* cancel,
                     const FilterWhere& where)
{
    QString sql = QStringLiteral("SELECT [EVENTS].[INDEX] FROM ") + join;
    QStringList conditions;
    if (fromEvent >= 0)
        conditions << QStringLiteral("[EVENTS].[INDEX] >= ?");
    if (!where.IsEmpty())
        conditions << where.sql;
    if (!conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    PreparedQuery q(db, sql + QStringLiteral(" ORDER BY [EVENTS].[INDEX], [USERS].[INDEX]"));
    QVariantList values;
    if (fromEvent >= 0)
        values << fromEvent;
    values += where.values;
    q.Exec(values);
    qint64 row = firstRow;
    qint64 lastEvent = 0;
    int run = 0;
    bool first = true;
    while (q.Next()) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            q.Finish();
            return -1;
        }
        const qint64 event = q.Int64(0);
        run = (!first && event == lastEvent) ? run + 1 : 0;
        first = false;
        lastEvent = event;
        if (row % stride == 0)
            marks.append({event, run});
        ++row;
    }
    return row;
}
