#include "formats/reportusers.h"

#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/preparedquery.h"

bool ReportUsers::Read(CDatabase& db)
{
    m_byNumber.clear();
    const bool server = db.GetDialect().GetBackend() == Dialect::Backend::Postgres;
    // A user without a start or a stop matches no event (the comparison is
    // NULL) and so is left out. SQLite compares a number before any text,
    // and a number with a text as unequal: such values are told apart by
    // their type.
    const QString sql =
        server ? QStringLiteral(
                     "SELECT [USER_NO], [NAME], to_char([DATE_START], 'YYYY-MM-DD HH24:MI:SS'), "
                     "to_char([DATE_STOP], 'YYYY-MM-DD HH24:MI:SS'), 1 FROM [USERS]")
               : QStringLiteral("SELECT [USER_NO], [NAME], [DATE_START], [DATE_STOP], "
                                "typeof([USER_NO]) IN ('integer', 'null') AND "
                                "typeof([DATE_START]) IN ('text', 'null') AND "
                                "typeof([DATE_STOP]) IN ('text', 'null') FROM [USERS]");
    PreparedQuery q(db, sql);
    q.Exec();
    while (q.Next()) {
        if (q.Value(4).toInt() == 0) {
            q.Finish();
            return false;
        }
        if (q.IsNull(0) || q.IsNull(2) || q.IsNull(3))
            continue;
        m_byNumber[q.Value(0).toLongLong()].append(
            {q.Value(1).toString(), !q.IsNull(1), q.Value(2).toString(), q.Value(3).toString()});
    }
    return true;
}

std::optional<QVector<const ReportUsers::User*>>
ReportUsers::Holding(qint64 number, const QString& first, const QString& last) const
{
    QVector<const User*> holding;
    const auto users = m_byNumber.constFind(number);
    if (users == m_byNumber.cend())
        return holding;
    const auto within = [&](const QString& date) { return first <= date && date <= last; };
    for (const User& user : *users) {
        if (within(user.start) || within(user.stop))
            return std::nullopt;
        if (user.start < first && last < user.stop)
            holding.append(&user);
    }
    return holding;
}

void UserNames::Read(CDatabase& db, const QList<qint64>& indexes)
{
    // Rows a statement asks for at most: SQLite binds 32766 values.
    constexpr qsizetype kPerStatement = 500;
    QList<qint64> wanted;
    for (const qint64 index : indexes) {
        if (!m_names.contains(index)) {
            m_names.insert(index, Name());
            wanted.append(index);
        }
    }
    for (qsizetype at = 0; at < wanted.size(); at += kPerStatement) {
        const QList<qint64> some = wanted.mid(at, kPerStatement);
        QStringList marks;
        for (qsizetype i = 0; i < some.size(); ++i)
            marks << QStringLiteral("?");
        PreparedQuery q(db,
                        QStringLiteral("SELECT [INDEX], [NAME] FROM [USERS] WHERE [INDEX] IN (") +
                            marks.join(QStringLiteral(", ")) + QLatin1Char(')'));
        QVariantList values;
        for (const qint64 index : some)
            values << index;
        q.Exec(values);
        while (q.Next())
            m_names.insert(q.Value(0).toLongLong(), {q.Value(1).toString(), q.IsNull(1)});
    }
}

const UserNames::Name& UserNames::Of(qint64 index) const
{
    const auto found = m_names.constFind(index);
    return found == m_names.cend() ? m_none : *found;
}
