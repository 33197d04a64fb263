#include "db/eventfilter.h"

#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"

#include <QSet>
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

FilterWhere FilterTerms::Where(Drive drive) const
{
    FilterWhere w;
    for (const Term& t : terms) {
        // A unary + keeps SQLite from finding the rows through the column's index.
        const bool indexed = drive == Drive::Any ||
                             (drive == Drive::Date && t.kind == Kind::Date) ||
                             (drive == Drive::UserNo && t.kind == Kind::UserNo);
        if (!w.sql.isEmpty())
            w.sql += QStringLiteral(" AND ");
        w.sql += t.column.isEmpty()
                     ? t.sql
                     : t.sql.arg(indexed ? t.column : QStringLiteral("+") + t.column);
        w.values += t.values;
    }
    return w;
}

FilterWhere FilterTerms::Only(Kind kind) const
{
    FilterTerms some;
    for (const Term& t : terms) {
        if (t.kind == kind)
            some.terms.append(t);
    }
    return some.Where();
}

bool FilterTerms::Has(Kind kind) const
{
    return std::any_of(terms.cbegin(), terms.cend(),
                       [kind](const Term& t) { return t.kind == kind; });
}

FilterWhere ResolveFilter(const CDatabase& db, const EventFilter& filter)
{
    return ResolveFilterTerms(db, filter).Where();
}

FilterTerms DateTerms(const QString& from, const QString& to)
{
    const QString date = QStringLiteral("[EVENTS].[DATE]");
    FilterTerms w;
    if (!from.isEmpty())
        w.terms.append({FilterTerms::Kind::Date, QStringLiteral("%1 >= ?"), date, {from}});
    if (!to.isEmpty())
        w.terms.append({FilterTerms::Kind::Date, QStringLiteral("%1 < ?"), date, {to}});
    return w;
}

FilterTerms::Drive FewerEventsDrive(const CDatabase& db, const FilterTerms& terms)
{
    using Drive = FilterTerms::Drive;
    using Kind = FilterTerms::Kind;
    if (!db.GetDialect().IsSqlite() || !terms.Has(Kind::Date) || !terms.Has(Kind::UserNo))
        return Drive::Any;
    const auto count = [&db](const FilterWhere& only, qint64 limit) {
        PreparedQuery q(
            db, QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM [EVENTS] WHERE %1 LIMIT %2)")
                    .arg(only.sql)
                    .arg(limit));
        q.Exec(only.values);
        const qint64 found = q.Next() ? q.Int64(0) : 0;
        q.Finish();
        return found;
    };
    const FilterWhere dates = terms.Only(Kind::Date);
    const FilterWhere userNos = terms.Only(Kind::UserNo);
    for (qint64 limit = 256;; limit *= 4) {
        const qint64 byDate = count(dates, limit);
        const qint64 byUserNo = count(userNos, limit);
        if (byDate < limit || byUserNo < limit)
            return byDate <= byUserNo ? Drive::Date : Drive::UserNo;
    }
}

FilterTerms ResolveFilterTerms(const CDatabase& db, const EventFilter& filter)
{
    using Kind = FilterTerms::Kind;
    FilterTerms w = DateTerms(filter.from, filter.to);
    const QString userNo = QStringLiteral("[EVENTS].[USER_NO]");
    auto add = [&w](Kind kind, const QString& sql, const QString& column,
                    const QVariantList& values) {
        w.terms.append({kind, sql, column, values});
    };
    if (!filter.userNos.isEmpty()) {
        QVector<qint32> numbers = filter.userNos;
        std::sort(numbers.begin(), numbers.end());
        numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
        QVariantList values;
        for (const qint32 n : numbers)
            values << n;
        add(Kind::UserNo,
            numbers.size() == 1
                ? QStringLiteral("%1 = ?")
                : QStringLiteral("%1 IN (") + placeholders(numbers.size()) + QLatin1Char(')'),
            userNo, values);
    }
    if (filter.button)
        add(Kind::Other, QStringLiteral("[EVENTS].[BUTTON] = ?"), {},
            {QString::number(*filter.button)});
    if (!filter.name.isEmpty()) {
        PreparedQuery q(db, QStringLiteral("SELECT [NAME], [USER_NO] FROM [USERS]"));
        q.Exec();
        QSet<QString> names;
        QSet<qint32> numbers;
        while (q.Next()) {
            const QString name = q.Value(0).toString();
            if (q.IsNull(0) || q.IsNull(1) || !name.contains(filter.name, Qt::CaseInsensitive))
                continue;
            names.insert(name);
            numbers.insert(q.Value(1).toInt());
        }
        if (names.isEmpty()) {
            add(Kind::Other, QStringLiteral("1 = 0"), {}, {});
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
            QVariantList numberValues;
            for (const qint32 n : sortedNumbers)
                numberValues << n;
            QVariantList nameValues;
            for (const QString& name : std::as_const(sortedNames))
                nameValues << name;
            // The user numbers let the events be found through their index;
            // the names keep only the rows joined with a matching user.
            add(Kind::UserNo,
                QStringLiteral("%1 IN (") + placeholders(sortedNumbers.size()) + QLatin1Char(')'),
                userNo, numberValues);
            add(Kind::Other,
                QStringLiteral("[USERS].[NAME] IN (") + placeholders(sortedNames.size()) +
                    QLatin1Char(')'),
                {}, nameValues);
        }
    }
    return w;
}
