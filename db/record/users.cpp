#include "db/record/users.h"

#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/datetext.h"
#include "db/record/visibletext.h"

#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

namespace users {

namespace {

bool byNumberThenStart(const UserPeriod& a, const UserPeriod& b)
{
    if (a.userNo != b.userNo)
        return a.userNo < b.userNo;
    if (a.start != b.start)
        return a.start < b.start;
    return a.index < b.index;
}

QString shownStop(const QString& stop)
{
    return IsOpenEnd(stop) ? QStringLiteral("no end") : stop;
}

QString describeRow(const UserPeriod& p)
{
    return QStringLiteral("%1 (user number %2, from %3 to %4)")
        .arg(VisibleText(p.name))
        .arg(p.userNo)
        .arg(p.start, shownStop(p.stop));
}

// The end of a period as stored: the open end stays itself whatever years a
// typed date may have.
std::optional<QString> parseStop(const QString& stop)
{
    return IsOpenEnd(stop) ? std::optional<QString>(stop) : ParseDateTime(stop);
}

} // namespace

std::optional<QString> ParseDateTime(QStringView text)
{
    const datetext::Parsed parsed = datetext::Parse(text);
    if (!parsed)
        return std::nullopt;
    return parsed.stored;
}

bool IsOpenEnd(const QString& stop)
{
    return stop == QLatin1String(kOpenEnd);
}

QVector<UserPeriod> Read(const CDatabase& db)
{
    // Names in brackets: the database layer writes them as its backend wants.
    QSqlQuery q = db.Prepare(
        QStringLiteral("SELECT [INDEX], [NAME], [USER_NO], [DATE_START], [DATE_STOP] FROM [USERS] "
                       "ORDER BY [USER_NO], [DATE_START], [INDEX]"));
    q.setForwardOnly(true);
    CDatabase::Exec(q);
    QVector<UserPeriod> rows;
    while (q.next())
        rows.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toInt(),
                     q.value(3).toString(), q.value(4).toString()});
    if (q.lastError().isValid())
        throw CDBException(q.lastError().text());
    // The database's own order of texts may differ from the program's.
    Sort(rows);
    return rows;
}

void Sort(QVector<UserPeriod>& periods)
{
    std::stable_sort(periods.begin(), periods.end(), byNumberThenStart);
}

QStringList Check(const UserPeriod& p)
{
    QStringList problems;
    if (p.name.trimmed().isEmpty())
        problems << QStringLiteral("the name is empty");
    // A name is shown on one line: a tab or a line break in it would break
    // the lines of the list.
    if (HasControlCharacter(p.name))
        problems << QStringLiteral("the name \"%1\" holds a control character (tab, line break, "
                                   "NUL or the like)")
                        .arg(VisibleText(p.name));
    if (p.userNo < kMinUserNo || p.userNo > kMaxUserNo)
        problems << QStringLiteral("the user number %1 is not from %2 to %3")
                        .arg(p.userNo)
                        .arg(kMinUserNo)
                        .arg(kMaxUserNo);
    const auto start = ParseDateTime(p.start);
    const auto stop = parseStop(p.stop);
    if (!start)
        problems << QStringLiteral("the start \"%1\" is not a date and time YYYY-MM-DD HH:MM[:SS]")
                        .arg(p.start);
    if (!stop)
        problems << QStringLiteral("the end \"%1\" is not a date and time YYYY-MM-DD HH:MM[:SS]")
                        .arg(p.stop);
    if (start && stop && !(*start < *stop))
        problems << QStringLiteral("the period ends before it starts");
    return problems;
}

QVector<Overlap> FindOverlaps(const QVector<UserPeriod>& periods)
{
    // Periods that only touch share no event: one at the very moment belongs
    // to neither.
    auto overlap = [](const UserPeriod& a, const UserPeriod& b) {
        return a.start < b.stop && b.start < a.stop;
    };
    // One pass through the periods by number and start, keeping those of the
    // number that have not ended by the start of the next one: only they can
    // overlap it or any period after it.
    QVector<int> order(periods.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](int i, int j) {
        const UserPeriod& a = periods.at(i);
        const UserPeriod& b = periods.at(j);
        if (a.userNo != b.userNo)
            return a.userNo < b.userNo;
        if (a.start != b.start)
            return a.start < b.start;
        return i < j;
    });
    QVector<Overlap> found;
    QVector<int> open;
    for (qsizetype k = 0; k < order.size(); ++k) {
        const int j = order.at(k);
        const UserPeriod& b = periods.at(j);
        if (k > 0 && periods.at(order.at(k - 1)).userNo != b.userNo)
            open.clear();
        qsizetype kept = 0;
        for (const int i : std::as_const(open)) {
            const UserPeriod& a = periods.at(i);
            if (!(b.start < a.stop))
                continue; // ended: later periods start no earlier than b
            open[kept++] = i;
            if (overlap(a, b))
                found.append({std::min(i, j), std::max(i, j)});
        }
        open.resize(kept);
        open.append(j);
    }
    // In the order of the positions, as a comparison of every pair gives them.
    std::sort(found.begin(), found.end(), [](const Overlap& x, const Overlap& y) {
        return x.first != y.first ? x.first < y.first : x.second < y.second;
    });
    return found;
}

QString DescribeOverlap(const QVector<UserPeriod>& periods, const Overlap& overlap)
{
    const UserPeriod& a = periods.at(overlap.first);
    const UserPeriod& b = periods.at(overlap.second);
    return QStringLiteral("user number %1: %2 (%3 to %4) and %5 (%6 to %7)")
        .arg(a.userNo)
        .arg(VisibleText(a.name), a.start, shownStop(a.stop), VisibleText(b.name), b.start,
             shownStop(b.stop));
}

QString HandOver(QVector<UserPeriod>& periods, qint32 userNo, const QString& name,
                 const QString& at)
{
    const auto moment = ParseDateTime(at);
    if (!moment)
        return QStringLiteral("\"%1\" is not a date and time YYYY-MM-DD HH:MM[:SS]").arg(at);
    UserPeriod next{0, name, userNo, *moment, QString()};
    const QStringList problems = Check({0, name, userNo, *moment, QLatin1String(kOpenEnd)});
    if (!problems.isEmpty())
        return problems.join(QStringLiteral("; "));

    QVector<int> holders;
    QString nextStart = QLatin1String(kOpenEnd);
    for (int i = 0; i < periods.size(); ++i) {
        const UserPeriod& p = periods.at(i);
        if (p.userNo != userNo)
            continue;
        if (p.start < *moment && *moment < p.stop)
            holders.append(i);
        else if (p.start >= *moment && p.start < nextStart)
            nextStart = p.start;
    }
    if (holders.isEmpty()) {
        if (nextStart == *moment)
            return QStringLiteral("A period of user number %1 starts at %2 already.")
                .arg(userNo)
                .arg(*moment);
        next.stop = nextStart;
    } else {
        for (int i : std::as_const(holders)) {
            next.stop = std::max(next.stop, periods.at(i).stop);
            periods[i].stop = *moment;
        }
    }
    periods.append(next);
    Sort(periods);
    return {};
}

UserPeriod PeriodOf(const QString& name, const QString& userNo, const QString& from,
                    const QString& to, QStringList* problems)
{
    bool whole = false;
    UserPeriod p{0, name, userNo.trimmed().toInt(&whole), from,
                 to.trimmed().isEmpty() ? QLatin1String(kOpenEnd) : to};
    *problems = Check(p);
    if (!whole)
        problems->prepend(
            QStringLiteral("the user number \"%1\" is not a whole number").arg(userNo));
    if (problems->isEmpty()) {
        p.start = *ParseDateTime(p.start);
        p.stop = *parseStop(p.stop);
    }
    return p;
}

Changes Diff(const QVector<UserPeriod>& before, const QVector<UserPeriod>& after)
{
    QHash<qint64, const UserPeriod*> old;
    for (const UserPeriod& p : before)
        old.insert(p.index, &p);
    Changes changes;
    QSet<qint64> kept;
    for (const UserPeriod& p : after) {
        if (p.index == 0) {
            changes.added.append(p);
            continue;
        }
        kept.insert(p.index);
        const UserPeriod* was = old.value(p.index);
        if (!was || !(*was == p))
            changes.edited.append(p);
    }
    for (const UserPeriod& p : before) {
        if (!kept.contains(p.index))
            changes.removed.append(p.index);
    }
    return changes;
}

void Apply(CDatabase& db, const Changes& changes)
{
    QStringList bad;
    for (const QVector<UserPeriod>* rows : {&changes.added, &changes.edited}) {
        for (const UserPeriod& p : *rows) {
            const QStringList problems = Check(p);
            if (!problems.isEmpty())
                bad << describeRow(p) + QStringLiteral(": ") + problems.join(QStringLiteral("; "));
        }
    }
    if (!bad.isEmpty())
        throw CDBException(QStringLiteral("Nothing was stored: ") + bad.join(QLatin1Char('\n')));
    if (changes.IsEmpty())
        return;

    auto bindRow = [](QSqlQuery& q, const UserPeriod& p) {
        q.bindValue(0, p.name);
        q.bindValue(1, p.userNo);
        q.bindValue(2, *ParseDateTime(p.start));
        q.bindValue(3, *parseStop(p.stop));
    };
    const QString gone =
        QStringLiteral("Nothing was stored: another program has removed or changed the users "
                       "meanwhile. Open the users again.");
    db.BeginTrans();
    try {
        QSqlQuery remove = db.Prepare(QStringLiteral("DELETE FROM [USERS] WHERE [INDEX] = ?"));
        for (qint64 index : changes.removed) {
            remove.bindValue(0, index);
            CDatabase::Exec(remove);
            if (remove.numRowsAffected() != 1)
                throw CDBException(gone);
        }
        QSqlQuery update = db.Prepare(
            QStringLiteral("UPDATE [USERS] SET [NAME] = ?, [USER_NO] = ?, [DATE_START] = ?, "
                           "[DATE_STOP] = ? WHERE [INDEX] = ?"));
        for (const UserPeriod& p : changes.edited) {
            bindRow(update, p);
            update.bindValue(4, p.index);
            CDatabase::Exec(update);
            if (update.numRowsAffected() != 1)
                throw CDBException(gone);
        }
        QSqlQuery insert =
            db.Prepare(QStringLiteral("INSERT INTO [USERS] ([NAME], [USER_NO], [DATE_START], "
                                      "[DATE_STOP]) VALUES (?, ?, ?, ?)"));
        for (const UserPeriod& p : changes.added) {
            bindRow(insert, p);
            CDatabase::Exec(insert);
        }
        db.CommitTrans();
    } catch (...) {
        db.Rollback();
        throw;
    }
}

} // namespace users
