#include "cli/userscommands.h"

#include "cli/commandoutput.h"
#include "cli/consolemessages.h"
#include "cli/exitcodes.h"
#include "db/backend/dbexception.h"
#include "db/location/boundedread.h"
#include "db/location/nativename.h"
#include "db/record/dbstate.h"
#include "db/record/users.h"
#include "db/record/visibletext.h"
#include "db/zq6doc.h"
#include "formats/userscsv.h"

#include <QStringDecoder>
#include <cstdio>
#include <string>

namespace {

// Far more than any list of users needs, far less than memory holds.
constexpr qint64 kMaxImportBytes = qint64{4} * 1024 * 1024;
constexpr qint64 kMaxImportLine = 4096;

void printError(const QString& text)
{
    std::fprintf(stderr, "%s\n", qUtf8Printable(text));
}

// The open end is written as an empty "to".
QString shownStop(const QString& stop)
{
    return users::IsOpenEnd(stop) ? QString() : stop;
}

// A few lines for each user number, however many periods overlap.
void warnOverlaps(const QVector<UserPeriod>& periods)
{
    for (const users::NumberOverlaps& number : users::FindOverlaps(periods))
        for (const QString& line : users::DescribeOverlaps(periods, number))
            printError(CommandLine::tr("Periods overlap, %1").arg(line));
}

int list(const QVector<UserPeriod>& periods)
{
    std::string out;
    for (const UserPeriod& p : periods)
        out += QStringLiteral("%1\t%2\t%3\t%4\n")
                   .arg(VisibleText(p.name))
                   .arg(p.userNo)
                   .arg(p.start, shownStop(p.stop))
                   .toStdString();
    const bool written = WriteStandardOutput(QByteArrayView(out.data(), qsizetype(out.size()))) &&
                         FlushStandardOutput();
    warnOverlaps(periods);
    return written ? exitcode::kDone : exitcode::kFailed;
}

int exportCsv(const QVector<UserPeriod>& periods, CsvText names)
{
    return CommandOutput({}).Write(users::ToCsv(periods, names)) ? exitcode::kDone
                                                                 : exitcode::kFailed;
}

int store(const QVector<UserPeriod>& added, const QString& done)
{
    try {
        users::Changes changes;
        changes.added = added;
        users::Apply(g_db, changes);
        PrintLine(done);
        FlushStandardOutput();
        warnOverlaps(users::Read(g_db));
    } catch (const CDBException& e) {
        printError(e.m_strError);
        return exitcode::kFailed;
    }
    return exitcode::kDone;
}

// The period of users add, from its arguments; false, having told the wrong
// command line, when they make none.
bool periodToAdd(const QStringList& args, QVector<UserPeriod>* added, const CommandLine& line)
{
    // The name's bytes as given, which must be UTF-8 as in a users import.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = utf8.decode(EncodeFileName(args.at(2)));
    if (utf8.hasError()) {
        line.UsageError(CommandLine::tr("the user was not added: the name is not UTF-8 text"));
        return false;
    }
    QStringList problems;
    added->append(users::PeriodOf(name, args.at(3), args.at(4), args.value(5), &problems));
    // Values that cannot be a period are a wrong command line, as in export.
    if (!problems.isEmpty()) {
        line.UsageError(
            CommandLine::tr("the user was not added: %1").arg(problems.join(QStringLiteral("; "))));
        return false;
    }
    return true;
}

// The periods of the CSV file of users import; false, having told why, when
// the file cannot be read or holds a bad row.
bool periodsToImport(const QString& file, CsvText names, QVector<UserPeriod>* added)
{
    const BoundedRead read =
        ReadBoundedFile(AbsoluteFileName(file), kMaxImportBytes, kMaxImportLine);
    if (!read.error.isEmpty()) {
        printError(read.error + QLatin1Char('\n') + CommandLine::tr("Nothing was imported."));
        return false;
    }
    const users::CsvRows rows = users::FromCsv(read.bytes, names);
    *added = rows.periods;
    if (!rows.faults.isEmpty()) {
        for (const QString& f : rows.faults)
            printError(f);
        printError(CommandLine::tr("Nothing was imported."));
        return false;
    }
    return true;
}

} // namespace

UsersCommand::UsersCommand()
    : Command("users", {Option::Raw},
              {{"users list", QT_TRANSLATE_NOOP("CommandLine", "DB")},
               {"users add", QT_TRANSLATE_NOOP("CommandLine", "DB NAME USER_NO FROM [TO]")},
               {"users import", QT_TRANSLATE_NOOP("CommandLine", "DB FILE.csv [--raw]")},
               {"users export", QT_TRANSLATE_NOOP("CommandLine", "DB [--raw]")}})
{
}

int UsersCommand::Run(const CommandLine& line) const
{
    const QStringList args = line.Arguments();
    const bool raw = line.IsSet(Option::Raw);
    const QString sub = args.value(0);
    const qsizetype n = args.size();
    if ((sub == QLatin1String("list") || sub == QLatin1String("export")) && n != 2)
        return line.UsageError(CommandLine::tr("users %1 takes one database file").arg(sub));
    if (sub == QLatin1String("add") && (n < 5 || n > 6))
        return line.UsageError(CommandLine::tr("users add takes DB NAME USER_NO FROM [TO]"));
    if (sub == QLatin1String("import") && n != 3)
        return line.UsageError(CommandLine::tr("users import takes DB FILE.csv"));
    if (!QStringList{"list", "export", "add", "import"}.contains(sub))
        return line.UsageError(sub.isEmpty()
                                   ? CommandLine::tr("users needs list, add, import or export")
                                   : CommandLine::tr("unknown users command \"%1\"").arg(sub));
    if (raw && sub != QLatin1String("export") && sub != QLatin1String("import"))
        return line.UsageError(
            CommandLine::tr("--raw is an option of export, users export and users import"));
    const CsvText names = raw ? CsvText::Raw : CsvText::Guarded;

    // Checked before the database is opened, so that nothing is opened in vain.
    QVector<UserPeriod> added;
    if (sub == QLatin1String("add")) {
        if (!periodToAdd(args, &added, line))
            return exitcode::kUsage;
    } else if (sub == QLatin1String("import")) {
        if (!periodsToImport(args.at(2), names, &added))
            return exitcode::kFailed;
    }

    const Location db = Location::Parse(args.at(1));
    if ((sub == QLatin1String("export") || sub == QLatin1String("list")) &&
        !CommandOutput({}).SpareInput(db))
        return exitcode::kFailed;

    ConsoleMessages messages;
    CZq6Doc doc(&messages);
    if (!doc.OnOpenDocument(db))
        return exitcode::kFailed;
    if (sub == QLatin1String("add"))
        return store(added, CommandLine::tr("The user has been added."));
    if (sub == QLatin1String("import"))
        return store(added, CommandLine::tr("Number of imported users:  %1").arg(added.size()));
    try {
        const QVector<UserPeriod> periods = users::Read(g_db);
        return sub == QLatin1String("list") ? list(periods) : exportCsv(periods, names);
    } catch (const CDBException& e) {
        printError(e.m_strError);
        return exitcode::kFailed;
    }
}
