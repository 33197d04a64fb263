#include "db/record/dbtemplate.h"

#include "db/backend/dbexception.h"
#include "db/backend/sqliteconnection.h"
#include "db/location/boundedread.h"
#include "db/location/nativename.h"
#include "db/location/stagedfile.h"
#include "db/record/database.h"
#include "db/record/schemascript.h"
#include "platform/filestatus.h"
#include "platform/process.h"

#include <QCoreApplication>
#include <QDir>
#include <QList>
#include <algorithm>

#ifndef ZQ_DATA_DIR
#define ZQ_DATA_DIR ""
#endif

namespace {

// The program's folder by its exact bytes, which Qt's own would not keep.
QString programDir()
{
    const QByteArray path = platform::ProgramFile();
    if (!path.isEmpty())
        return DecodeFileName(path.left(path.lastIndexOf('/')));
    return QCoreApplication::applicationDirPath();
}

// One entry of sqlite_master.
struct SchemaObject
{
    QString type;
    QString name;
    QString table;
    QString sql;

    QString Described() const
    {
        QString text = QStringLiteral("%1 \"%2\"").arg(type, name);
        if (table != name)
            text += QStringLiteral(" on %1").arg(table);
        return text;
    }
};

QList<SchemaObject> schemaObjects(Connection& db)
{
    QList<SchemaObject> objects;
    const auto statement =
        db.Prepare(QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master"));
    statement->Exec(QVariantList());
    while (statement->Next())
        objects.append({statement->Text(0), statement->Text(1), statement->Text(2),
                        statement->Text(3).simplified()});
    return objects;
}

// What the schema script makes, in a database of its own in memory.
QList<SchemaObject> programObjects()
{
    try {
        const auto db = SqliteConnection::OpenMemory();
        db->Execute(kSchemaScript);
        return schemaObjects(*db);
    } catch (const CDBException& e) {
        throw CDBException(
            QStringLiteral("The program's own schema cannot be made: %1").arg(e.m_strError));
    }
}

qint64 rowCount(Connection& db, const QString& table)
{
    QString quoted = table;
    const auto statement = db.Prepare(QStringLiteral("SELECT count(*) FROM \"%1\"")
                                          .arg(quoted.replace(u'"', QLatin1String("\"\""))));
    statement->Exec(QVariantList());
    return statement->Next() ? statement->Int64(0) : 0;
}

// Throws when the copy holds anything but the program's own tables and
// indexes, or any row: a trigger, a view or a statistics table would act on
// every later download, rows would be events or users nobody entered.
void checkHoldsOnlyTheSchema(const CDatabase& copy, const QString& shownTemplate)
{
    if (!copy.Sqlite())
        throw CDBException(
            QStringLiteral("The template database %1 cannot be checked.").arg(shownTemplate));
    Connection& db = copy.GetConnection();
    const QList<SchemaObject> found = schemaObjects(db);
    QList<SchemaObject> expected = programObjects();
    QStringList wrong;
    for (const SchemaObject& object : found) {
        const auto same = std::find_if(expected.begin(), expected.end(), [&](const auto& e) {
            return e.type == object.type && e.name.compare(object.name, Qt::CaseInsensitive) == 0;
        });
        if (same == expected.end()) {
            wrong << object.Described();
            continue;
        }
        if (same->sql != object.sql || same->table.compare(object.table, Qt::CaseInsensitive) != 0)
            wrong << object.Described() +
                         QStringLiteral(" defined otherwise than the program's own");
        expected.erase(same);
    }
    for (const SchemaObject& missing : std::as_const(expected))
        wrong << QStringLiteral("no %1").arg(missing.Described());
    if (!wrong.isEmpty())
        throw CDBException(
            QStringLiteral("The template database %1 is not the program's own: it holds %2. A new "
                           "database holds only the program's own tables and indexes; nothing "
                           "was created.")
                .arg(shownTemplate, wrong.join(QLatin1String(", "))));

    QStringList filled;
    for (const SchemaObject& object : found) {
        if (object.type != QLatin1String("table"))
            continue;
        if (const qint64 rows = rowCount(db, object.name); rows > 0)
            filled << QStringLiteral("%1 in %2").arg(rows).arg(object.name);
    }
    if (!filled.isEmpty())
        throw CDBException(QStringLiteral("The template database %1 is not empty: it holds rows "
                                          "(%2). A new database starts empty; nothing was "
                                          "created.")
                               .arg(shownTemplate, filled.join(QLatin1String(", "))));
}

} // namespace

QString FindTemplate()
{
    const QString name = QLatin1String(kTemplateFileName);
    QStringList places;
    if (QCoreApplication::instance()) {
        const QString dir = programDir();
        // Beside the program in a build, under share/ when installed anywhere.
        places << dir << dir + QStringLiteral("/../share/zqreader");
    }
    // A file that merely lies in the folder one works in is taken only when
    // the program has no template of its own, and is checked as any other.
    places << QStringLiteral(ZQ_DATA_DIR) << AbsoluteFileName(QStringLiteral("."));
    for (const QString& dir : places) {
        if (dir.isEmpty())
            continue;
        QString candidate = QDir::cleanPath(dir + QLatin1Char('/') + name);
        if (platform::StatusOf(EncodeFileName(candidate)).type == platform::FileType::Regular)
            return candidate;
    }
    return {};
}

void WriteTemplateCopy(StagedFile& staged, const QString& shown)
{
    const QString templatePath = FindTemplate();
    if (templatePath.isEmpty())
        throw CDBException(QStringLiteral("The template database %1 was not found.")
                               .arg(QLatin1String(kTemplateFileName)));
    const QString shownTemplate = ShownFileName(templatePath);
    const BoundedRead source = ReadBoundedFile(templatePath, kMaxTemplateBytes, kMaxTemplateBytes);
    if (!source.error.isEmpty())
        throw CDBException(QStringLiteral("The template database %1 cannot be read. %2")
                               .arg(shownTemplate, source.error));
    if (!staged.Write(source.bytes))
        throw CDBException(
            QStringLiteral("\"%1\" cannot be written: %2").arg(shown, staged.ErrorString()));
    // The copy is checked, not the template: it is what becomes the database.
    CDatabase copy;
    try {
        copy.OpenFile(staged.WrittenName());
        copy.CheckIntact();
    } catch (const CDBException& e) {
        throw CDBException(
            QStringLiteral("The copy of the template %1 made beside \"%2\" does not open as "
                           "a ZQreader database: %3")
                .arg(shownTemplate, shown, e.m_strError));
    }
    checkHoldsOnlyTheSchema(copy, shownTemplate);
}
