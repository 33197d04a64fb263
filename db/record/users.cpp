#include "db/record/users.h"

#include "db/backend/dbexception.h"
#include "db/record/database.h"
#include "db/record/datetext.h"
#include "db/record/preparedquery.h"
#include "db/record/visibletext.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QSet>
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

// A date as a file stores it. An ODBC source may give its date-times as
// values, which would otherwise show as "2024-01-01T00:00:00.000" and would
// not be the open end.
QString storedText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd 00:00:00"));
    default:
        return value.toString();
    }
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
    // The server's dates are read as the text a file holds: as values they
    // would pass through the local zone, which has no hour that a change to
    // summer time skips.
    const bool server = db.GetDialect().GetBackend() == Dialect::Backend::Postgres;
    const QString dates = server ? QStringLiteral("to_char([DATE_START], 'YYYY-MM-DD HH24:MI:SS'), "
                                                  "to_char([DATE_STOP], 'YYYY-MM-DD HH24:MI:SS')")
                                 : QStringLiteral("[DATE_START], [DATE_STOP]");
    PreparedQuery q(db, QStringLiteral("SELECT [INDEX], [NAME], [USER_NO], ") + dates +
                            QStringLiteral(" FROM [USERS] ORDER BY [USER_NO], [DATE_START], "
                                           "[INDEX]"));
    q.Exec();
    QVector<UserPeriod> rows;
    while (q.Next())
        rows.append({q.Value(0).toLongLong(), q.Value(1).toString(), q.Value(2).toInt(),
                     storedText(q.Value(3)), storedText(q.Value(4))});
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

namespace {

// Counts for each period of one number how many others share a moment with
// it (a.start < b.stop and b.start < a.stop), without looking at the pairs:
// taking the periods by stop, those starting before that stop are added to a
// Fenwick tree indexed by the rank of their stop, and the ones among them
// that stop after the period's start are counted. group is sorted by start.
QVector<qint64> countOverlapping(const QVector<UserPeriod>& periods, const QVector<int>& group)
{
    const qsizetype m = group.size();
    auto startOf = [&](qsizetype k) -> const QString& { return periods.at(group.at(k)).start; };
    auto stopOf = [&](qsizetype k) -> const QString& { return periods.at(group.at(k)).stop; };
    QVector<int> byStop(m); // positions in group, by stop
    for (qsizetype k = 0; k < m; ++k)
        byStop[k] = int(k);
    std::sort(byStop.begin(), byStop.end(), [&](int x, int y) { return stopOf(x) < stopOf(y); });
    QVector<int> rank(m);
    for (qsizetype r = 0; r < m; ++r)
        rank[byStop.at(r)] = int(r);

    QVector<int> tree(m + 1, 0);
    auto add = [&](int r) {
        for (qsizetype i = r + 1; i <= m; i += i & -i)
            ++tree[i];
    };
    auto countBelow = [&](qsizetype r) { // of the added, those of rank < r
        qint64 n = 0;
        for (qsizetype i = r; i > 0; i -= i & -i)
            n += tree.at(i);
        return n;
    };

    QVector<qint64> others(m, 0);
    qsizetype added = 0;
    for (const int k : std::as_const(byStop)) {
        const QString& stop = stopOf(k);
        const QString& start = startOf(k);
        for (; added < m && startOf(added) < stop; ++added)
            add(rank.at(added));
        // The added periods that stop no later than this one starts.
        const qsizetype ended =
            std::upper_bound(byStop.cbegin(), byStop.cend(), start,
                             [&](const QString& at, int x) { return at < stopOf(x); }) -
            byStop.cbegin();
        const bool itself = start < stop; // then it was added and counted
        others[k] = qint64(added) - countBelow(ended) - (itself ? 1 : 0);
    }
    return others;
}

// The first pairs in one pass by start, keeping those periods that have not
// ended by the start of the next: only they can overlap it or a later one.
// Periods still open all overlap each other, so few are kept before enough
// pairs are found.
QVector<Overlap> firstPairs(const QVector<UserPeriod>& periods, const QVector<int>& group)
{
    QVector<Overlap> found;
    QVector<int> open;
    for (const int j : group) {
        const UserPeriod& b = periods.at(j);
        qsizetype kept = 0;
        for (const int i : std::as_const(open)) {
            const UserPeriod& a = periods.at(i);
            if (!(b.start < a.stop))
                continue; // ended: later periods start no earlier than b
            open[kept++] = i;
            if (a.start < b.stop && found.size() < kShownOverlaps)
                found.append({std::min(i, j), std::max(i, j)});
        }
        if (found.size() >= kShownOverlaps)
            break;
        open.resize(kept);
        open.append(j);
    }
    return found;
}

} // namespace

QVector<NumberOverlaps> FindOverlaps(const QVector<UserPeriod>& periods)
{
    // Periods that only touch share no event: one at the very moment belongs
    // to neither.
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
    QVector<NumberOverlaps> found;
    QVector<int> group;
    for (qsizetype k = 0; k < order.size();) {
        const qint32 userNo = periods.at(order.at(k)).userNo;
        group.clear();
        for (; k < order.size() && periods.at(order.at(k)).userNo == userNo; ++k)
            group.append(order.at(k));
        const QVector<qint64> others = countOverlapping(periods, group);
        NumberOverlaps number;
        number.userNo = userNo;
        for (qsizetype g = 0; g < group.size(); ++g) {
            if (others.at(g) > 0) {
                number.periods.append(group.at(g));
                number.pairs += others.at(g);
            }
        }
        if (number.periods.isEmpty())
            continue;
        number.pairs /= 2; // each pair was counted from both sides
        std::sort(number.periods.begin(), number.periods.end());
        number.shown = firstPairs(periods, group);
        found.append(number);
    }
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

QStringList DescribeOverlaps(const QVector<UserPeriod>& periods, const NumberOverlaps& overlaps)
{
    QStringList lines;
    for (const Overlap& o : overlaps.shown)
        lines << DescribeOverlap(periods, o);
    if (overlaps.pairs > overlaps.shown.size())
        lines << QCoreApplication::translate("users",
                                             "user number %1: and %2 more pairs; %3 periods "
                                             "overlap another")
                     .arg(overlaps.userNo)
                     .arg(overlaps.pairs - overlaps.shown.size())
                     .arg(overlaps.periods.size());
    return lines;
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

    auto rowValues = [](const UserPeriod& p) {
        return QVariantList{p.name, p.userNo, *ParseDateTime(p.start), *parseStop(p.stop)};
    };
    const QString gone =
        QStringLiteral("Nothing was stored: another program has removed or changed the users "
                       "meanwhile. Open the users again.");
    db.BeginTrans();
    try {
        PreparedQuery remove(db, QStringLiteral("DELETE FROM [USERS] WHERE [INDEX] = ?"));
        for (qint64 index : changes.removed) {
            remove.Exec({index});
            if (remove.RowsAffected() != 1)
                throw CDBException(gone);
        }
        PreparedQuery update(
            db, QStringLiteral("UPDATE [USERS] SET [NAME] = ?, [USER_NO] = ?, [DATE_START] = ?, "
                               "[DATE_STOP] = ? WHERE [INDEX] = ?"));
        for (const UserPeriod& p : changes.edited) {
            update.Exec(rowValues(p) << p.index);
            if (update.RowsAffected() != 1)
                throw CDBException(gone);
        }
        PreparedQuery insert(db, QStringLiteral("INSERT INTO [USERS] ([NAME], [USER_NO], "
                                                "[DATE_START], [DATE_STOP]) VALUES (?, ?, ?, ?)"));
        for (const UserPeriod& p : changes.added)
            insert.Exec(rowValues(p));
        db.CommitTrans();
    } catch (...) {
        db.Rollback();
        throw;
    }
}

} // namespace users
