#include "db/eventfilter.h"

#include "db/backend/dbexception.h"
#include "db/record/database.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <algorithm>

namespace {

// Values one statement binds for a name text at most: SQLite takes 32766
// in all, and the statements of the list bind a few more.
constexpr qsizetype kMaxNameValues = 8000;

QString placeholders(qsizetype count)
{
    QStringList marks;
    marks.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return marks.join(QStringLiteral(", "));
}

} // namespace

QString EventFilter::Described() const
{
    QStringList parts;
    if (!userNos.isEmpty()) {
        QStringList numbers;
        for (const qint32 n : userNos)
            numbers << QString::number(n);
        parts << QStringLiteral("user ") + numbers.join(QStringLiteral(" or "));
    }
    if (!name.isEmpty())
        parts << QStringLiteral("name \"%1\"").arg(name);
    if (button)
        parts << QStringLiteral("button %1").arg(*button);
    if (!from.isEmpty())
        parts << QStringLiteral("from ") + from;
    if (!to.isEmpty())
        parts << QStringLiteral("before ") + to;
    return parts.join(QStringLiteral(", "));
}

FilterWhere ResolveFilter(const CDatabase& db, const EventFilter& filter)
{
    FilterWhere w;
    auto add = [&w](const QString& condition, const QVariantList& values) {
        if (!w.sql.isEmpty())
            w.sql += QStringLiteral(" AND ");
        w.sql += condition;
        w.values += values;
    };
    if (!filter.from.isEmpty())
        add(QStringLiteral("[EVENTS].[DATE] >= ?"), {filter.from});
    if (!filter.to.isEmpty())
        add(QStringLiteral("[EVENTS].[DATE] < ?"), {filter.to});
    if (!filter.userNos.isEmpty()) {
        QVector<qint32> numbers = filter.userNos;
        std::sort(numbers.begin(), numbers.end());
        numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
        QVariantList values;
        for (const qint32 n : numbers)
            values << n;
        add(numbers.size() == 1
                ? QStringLiteral("[EVENTS].[USER_NO] = ?")
                : QStringLiteral("[EVENTS].[USER_NO] IN (%1)").arg(placeholders(numbers.size())),
            values);
    }
    if (filter.button)
        add(QStringLiteral("[EVENTS].[BUTTON] = ?"), {QString::number(*filter.button)});
    if (!filter.name.isEmpty()) {
        QSqlQuery q = db.Prepare(QStringLiteral("SELECT [NAME], [USER_NO] FROM [USERS]"));
        q.setForwardOnly(true);
        CDatabase::Exec(q);
        QSet<QString> names;
        QSet<qint32> numbers;
        while (q.next()) {
            const QString name = q.value(0).toString();
            if (q.isNull(0) || q.isNull(1) || !name.contains(filter.name, Qt::CaseInsensitive))
                continue;
            names.insert(name);
            numbers.insert(q.value(1).toInt());
        }
        if (q.lastError().isValid())
            throw CDBException(q.lastError().text());
        if (names.isEmpty()) {
            add(QStringLiteral("1 = 0"), {});
        } else {
            if (names.size() + numbers.size() > kMaxNameValues)
                throw CDBException(QStringLiteral("The name text \"%1\" matches %2 different "
                                                  "names; give more of the name.")
                                       .arg(filter.name)
                                       .arg(names.size()));
            QList<qint32> sortedNumbers(numbers.begin(), numbers.end());
            std::sort(sortedNumbers.begin(), sortedNumbers.end());
            QStringList sortedNames(names.begin(), names.end());
            sortedNames.sort();
            QVariantList values;
            for (const qint32 n : sortedNumbers)
                values << n;
            for (const QString& name : std::as_const(sortedNames))
                values << name;
            // The user numbers let the events be found through their index;
            // the names keep only the rows joined with a matching user.
            add(QStringLiteral("[EVENTS].[USER_NO] IN (%1) AND [USERS].[NAME] IN (%2)")
                    .arg(placeholders(sortedNumbers.size()), placeholders(sortedNames.size())),
                values);
        }
    }
    return w;
}
