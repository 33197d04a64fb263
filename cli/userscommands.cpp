#include "cli/userscommands.h"

#include "cli/consolemessages.h"
#include "cli/exitcodes.h"
#include "db/csv.h"
#include "db/dbexception.h"
#include "db/dbstate.h"
#include "db/nativename.h"
#include "db/users.h"
#include "db/zq6doc.h"

#include <QFile>
#include <cstdio>
#include <string>

namespace {

const QStringList kCsvHeader{QStringLiteral("name"), QStringLiteral("user_no"),
                             QStringLiteral("from"), QStringLiteral("to")};

void printError(const QString& text)
{
    std::fprintf(stderr, "%s\n", qUtf8Printable(text));
}

// The open end is written as an empty "to".
QString shownStop(const QString& stop)
{
    return users::IsOpenEnd(stop) ? QString() : stop;
}

void warnOverlaps(const QVector<UserPeriod>& periods)
{
    for (const users::Overlap& o : users::FindOverlaps(periods))
        printError(QStringLiteral("Periods overlap, ") + users::DescribeOverlap(periods, o));
}

// A period from the texts of the command line or of a CSV row: the user
// number must be whole, an empty end is the open end.
UserPeriod periodOf(const QString& name, const QString& userNo, const QString& from,
                    const QString& to, QStringList* problems)
{
    bool whole = false;
    UserPeriod p{0, name, userNo.trimmed().toInt(&whole), from,
                 to.trimmed().isEmpty() ? QLatin1String(users::kOpenEnd) : to};
    *problems = users::Check(p);
    if (!whole) {
        problems->prepend(
            QStringLiteral("the user number \"%1\" is not a whole number").arg(userNo));
    }
    return p;
}

int list(const QVector<UserPeriod>& periods)
{
    std::string out;
    for (const UserPeriod& p : periods)
        out += QStringLiteral("%1\t%2\t%3\t%4\n")
                   .arg(p.name)
                   .arg(p.userNo)
                   .arg(p.start, shownStop(p.stop))
                   .toStdString();
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    warnOverlaps(periods);
    return exitcode::kDone;
}

int exportCsv(const QVector<UserPeriod>& periods)
{
    std::string out;
    AppendCsvRecord(out, kCsvHeader);
    for (const UserPeriod& p : periods)
        AppendCsvRecord(out, {p.name, QString::number(p.userNo), p.start, shownStop(p.stop)});
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return exitcode::kDone;
}

// The periods of the file, or the faults of every bad row with its line.
QVector<UserPeriod> readCsv(const QByteArray& bytes, QStringList* faults)
{
    const CsvDocument doc = ParseCsv(bytes);
    QVector<QPair<int, QString>> told;
    for (const CsvError& e : doc.errors)
        told.append({e.line, e.message});
    QVector<UserPeriod> periods;
    bool header = true;
    for (const CsvRecord& r : doc.records) {
        if (r.fields == QStringList{QString()})
            continue; // an empty line
        if (header) {
            header = false;
            QStringList names = r.fields;
            for (QString& n : names)
                n = n.trimmed().toLower();
            if (names != kCsvHeader)
                told.append(
                    {r.line, QStringLiteral("the header must be \"name,user_no,from,to\"")});
            continue;
        }
        if (r.fields.size() != 4) {
            told.append({r.line, QStringLiteral("%1 fields instead of 4").arg(r.fields.size())});
            continue;
        }
        QStringList problems;
        const UserPeriod p =
            periodOf(r.fields.at(0), r.fields.at(1), r.fields.at(2), r.fields.at(3), &problems);
        if (problems.isEmpty())
            periods.append(p);
        else
            told.append({r.line, problems.join(QStringLiteral("; "))});
    }
    if (header)
        told.append({1, QStringLiteral("the file has no header \"name,user_no,from,to\"")});
    std::stable_sort(told.begin(), told.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& t : told)
        faults->append(QStringLiteral("line %1: %2").arg(t.first).arg(t.second));
    return periods;
}

int store(const QVector<UserPeriod>& added, const QString& done)
{
    try {
        users::Changes changes;
        changes.added = added;
        users::Apply(g_db, changes);
        std::printf("%s\n", qUtf8Printable(done));
        std::fflush(stdout);
        warnOverlaps(users::Read(g_db));
    } catch (const CDBException& e) {
        printError(e.m_strError);
        return exitcode::kFailed;
    }
    return exitcode::kDone;
}

} // namespace

int RunUsersCommand(const QStringList& args, const std::function<int(const QString&)>& usage)
{
    const QString sub = args.value(0);
    const qsizetype n = args.size();
    if ((sub == QLatin1String("list") || sub == QLatin1String("export")) && n != 2)
        return usage(QStringLiteral("users %1 takes one database file").arg(sub));
    if (sub == QLatin1String("add") && (n < 5 || n > 6))
        return usage(QStringLiteral("users add takes DB NAME USER_NO FROM [TO]"));
    if (sub == QLatin1String("import") && n != 3)
        return usage(QStringLiteral("users import takes DB FILE.csv"));
    if (!QStringList{"list", "export", "add", "import"}.contains(sub))
        return usage(sub.isEmpty() ? QStringLiteral("users needs list, add, import or export")
                                   : QStringLiteral("unknown users command \"%1\"").arg(sub));

    // Checked before the database is opened, so that nothing is opened in vain.
    QVector<UserPeriod> added;
    if (sub == QLatin1String("add")) {
        QStringList problems;
        added.append(periodOf(args.at(2), args.at(3), args.at(4), args.value(5), &problems));
        if (!problems.isEmpty()) {
            printError(QStringLiteral("The user was not added: ") +
                       problems.join(QStringLiteral("; ")));
            return exitcode::kFailed;
        }
    } else if (sub == QLatin1String("import")) {
        QFile file(AbsoluteFileName(args.at(2)));
        if (!file.open(QIODevice::ReadOnly)) {
            printError(QStringLiteral("Cannot read \"%1\": %2")
                           .arg(ShownFileName(args.at(2)), file.errorString()));
            return exitcode::kFailed;
        }
        QStringList faults;
        added = readCsv(file.readAll(), &faults);
        if (!faults.isEmpty()) {
            for (const QString& f : std::as_const(faults))
                printError(f);
            printError(QStringLiteral("Nothing was imported."));
            return exitcode::kFailed;
        }
    }

    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(AbsoluteFileName(args.at(1))))
        return exitcode::kFailed;
    if (sub == QLatin1String("add"))
        return store(added, QStringLiteral("The user has been added."));
    if (sub == QLatin1String("import"))
        return store(added, QStringLiteral("Number of imported users:  %1").arg(added.size()));
    try {
        const QVector<UserPeriod> periods = users::Read(g_db);
        return sub == QLatin1String("list") ? list(periods) : exportCsv(periods);
    } catch (const CDBException& e) {
        printError(e.m_strError);
        return exitcode::kFailed;
    }
}
