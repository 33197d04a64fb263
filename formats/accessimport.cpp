#include "formats/accessimport.h"

#include "db/backend/dbexception.h"
#include "db/location/dbfile.h"
#include "db/location/nativename.h"
#include "db/location/outputcheck.h"
#include "formats/accessmdbtools.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

namespace {

enum class Kind
{
    Whole,
    DateTime,
    Text,
};

struct Wanted
{
    const char* name;
    Kind kind;
};

using Columns = std::array<Wanted, 5>;

constexpr Columns kUsers = {{{"INDEX", Kind::Whole},
                             {"NAME", Kind::Text},
                             {"USER_NO", Kind::Whole},
                             {"DATE_START", Kind::DateTime},
                             {"DATE_STOP", Kind::DateTime}}};
constexpr Columns kEvents = {{{"INDEX", Kind::Whole},
                              {"TIMER", Kind::Whole},
                              {"DATE", Kind::DateTime},
                              {"USER_NO", Kind::Whole},
                              {"BUTTON", Kind::Text}}};

bool fits(Kind kind, AccessType type)
{
    switch (kind) {
    case Kind::Whole:
        return type == AccessType::Byte || type == AccessType::Integer ||
               type == AccessType::LongInteger;
    case Kind::DateTime:
        return type == AccessType::DateTime;
    case Kind::Text:
        return type == AccessType::Text || type == AccessType::Memo;
    }
    return false;
}

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::Whole:
        return "whole numbers";
    case Kind::DateTime:
        return "date-times";
    case Kind::Text:
        return "text";
    }
    return "";
}

// Where the columns of one of our tables are in the Access table.
struct TablePlan
{
    ZqTable table;
    const char* ourName;
    const Columns* wanted;
    QString accessName;
    qsizetype columnCount = 0;
    std::array<qsizetype, 5> at{};
};

// Access names are compared without regard to case, as Access does.
qsizetype findName(const QStringList& names, const char* name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QList<TablePlan> planTables(AccessTableSource& source)
{
    QList<TablePlan> plans{{ZqTable::Users, "USERS", &kUsers, {}},
                           {ZqTable::Events, "EVENTS", &kEvents, {}}};
    const QStringList tables = source.Tables();
    QStringList problems;
    for (TablePlan& plan : plans) {
        const qsizetype t = findName(tables, plan.ourName);
        if (t < 0) {
            problems << QCoreApplication::translate("AccessImport", "It has no table %1.")
                            .arg(QLatin1String(plan.ourName));
            continue;
        }
        plan.accessName = tables.at(t);
        const QVector<AccessColumn> columns = source.Columns(plan.accessName);
        QStringList names;
        for (const AccessColumn& c : columns)
            names << c.name;
        plan.columnCount = columns.size();
        for (size_t i = 0; i < plan.wanted->size(); ++i) {
            const Wanted& w = plan.wanted->at(i);
            const qsizetype c = findName(names, w.name);
            if (c < 0) {
                problems << QCoreApplication::translate("AccessImport",
                                                        "Table %1 has no column %2.")
                                .arg(plan.accessName, QLatin1String(w.name));
            } else if (!fits(w.kind, columns.at(c).type)) {
                problems << QStringLiteral("Column %1 of table %2 is of type %3, which does not "
                                           "hold %4.")
                                .arg(columns.at(c).name, plan.accessName, columns.at(c).typeName,
                                     QLatin1String(kindName(w.kind)));
            }
            plan.at[i] = c;
        }
    }
    if (!problems.isEmpty())
        throw CDBException(QStringLiteral("The Access database does not hold ZQreader's events "
                                          "and users. ") +
                           problems.join(u' '));
    return plans;
}

QVariant convert(const QString& value, Kind kind, const TablePlan& plan, const char* column,
                 qint64 row)
{
    if (value.isNull())
        return {};
    auto bad = [&](const char* what) {
        return CDBException(
            QCoreApplication::translate("AccessImport",
                                        "Row %1 of table %2: %3 is \"%4\", which is not %5.")
                .arg(QString::number(row), plan.accessName, QLatin1String(column), value,
                     QLatin1String(what)));
    };
    switch (kind) {
    case Kind::Whole: {
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        if (!ok)
            throw bad("a whole number");
        return n;
    }
    case Kind::DateTime: {
        // Kept as the calendar fields are: no conversion through an instant,
        // which would move the hours that daylight saving skips or repeats.
        static const QRegularExpression form(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
        if (!form.match(value).hasMatch())
            throw bad("a date-time");
        return value;
    }
    case Kind::Text:
        return value;
    }
    return {};
}

} // namespace

QString ImportCancelledMessage()
{
    return QCoreApplication::translate("AccessImport",
                                       "The conversion was cancelled; nothing was created.");
}

void CheckAccessTables(AccessTableSource& source)
{
    planTables(source);
}

ImportCounts ImportAccessTables(AccessTableSource& source, ImportSink& sink,
                                ImportProgress* progress)
{
    const QList<TablePlan> plans = planTables(source);
    sink.Begin();
    ImportCounts counts;
    for (const TablePlan& plan : plans) {
        const bool users = plan.table == ZqTable::Users;
        if (progress)
            progress->Step(users ? QCoreApplication::translate("AccessImport", "Copying users")
                                 : QCoreApplication::translate("AccessImport", "Copying events"),
                           source.RowCount(plan.accessName));
        qint64 done = 0;
        bool cancelled = false;
        source.ReadRows(plan.accessName, [&](const AccessRow& values) {
            const qint64 rowNo = done + 1;
            if (values.size() != plan.columnCount)
                throw CDBException(
                    QCoreApplication::translate("AccessImport",
                                                "Row %1 of table %2 has %3 values instead of %4.")
                        .arg(rowNo)
                        .arg(plan.accessName)
                        .arg(values.size())
                        .arg(plan.columnCount));
            ZqRow row;
            for (size_t i = 0; i < row.size(); ++i) {
                const Wanted& w = plan.wanted->at(i);
                row[i] = convert(values.at(plan.at[i]), w.kind, plan, w.name, rowNo);
            }
            if (row[0].isNull())
                throw CDBException(
                    QCoreApplication::translate("AccessImport", "Row %1 of table %2 has no INDEX.")
                        .arg(rowNo)
                        .arg(plan.accessName));
            sink.Add(plan.table, row);
            ++done;
            if (progress && done % 256 == 0 && !progress->Advance(done)) {
                cancelled = true;
                return false;
            }
            return true;
        });
        if (cancelled || (progress && !progress->Advance(done)))
            throw CDBException(ImportCancelledMessage());
        (users ? counts.users : counts.events) = done;
    }
    sink.Finish();
    return counts;
}

ImportCounts ImportAccessFile(const QString& accessPath, const QString& target,
                              ImportProgress* progress)
{
    return ImportAccessFile(accessPath, Location::Parse(target), progress);
}

ImportCounts ImportAccessFile(const QString& accessPath, const Location& target,
                              ImportProgress* progress)
{
    const DbFileCheck check = CheckDbFile(accessPath);
    if (check.kind == DbFileKind::Sqlite)
        throw CDBException(
            QCoreApplication::translate(
                "AccessImport", "\"%1\" is a ZQreader database already, not an Access database.")
                .arg(ShownFileName(accessPath)));
    if (check.kind == DbFileKind::NotDatabase && NotRegularFileMessage(accessPath).isEmpty())
        throw CDBException(
            QCoreApplication::translate("AccessImport", "\"%1\" is not an Access database.")
                .arg(ShownFileName(accessPath)));
    if (check.kind != DbFileKind::Access)
        throw CDBException(check.message);
    // Also through a hard link.
    if (!target.IsFile())
        throw CDBException(QStringLiteral("\"%1\" cannot hold the converted database: an Access "
                                          "database is converted into a database file.")
                               .arg(target.Shown()));
    const Location access = Location::FromFile(accessPath);
    if (SameFile(access, target) || !OutputOverInputMessage(target, access).isEmpty())
        throw CDBException(
            QCoreApplication::translate(
                "AccessImport",
                "The new database cannot take the place of the Access database \"%1\".")
                .arg(ShownFileName(accessPath)));
    MdbToolsSource source(accessPath);
    const std::unique_ptr<ImportSink> sink = NewDatabaseFileSink(target);
    return ImportAccessTables(source, *sink, progress);
}
