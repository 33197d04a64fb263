#pragma once

#include "db/location/location.h"

#include <QString>
#include <QVariant>
#include <array>
#include <memory>

class AccessTableSource;

// How far a conversion has come; told now and then, from the thread that
// converts.
class ImportProgress
{
public:
    virtual ~ImportProgress() = default;
    // A new step: what is being done and how many rows it has (-1 unknown).
    virtual void Step(const QString& what, qint64 rows) = 0;
    // Rows done in the step so far; false cancels the conversion.
    virtual bool Advance(qint64 done) = 0;
};

enum class ZqTable
{
    Users,
    Events,
};

// Values in the column order of res/schema.sql, INDEX first; null for NULL.
using ZqRow = std::array<QVariant, 5>;

// A new ZQreader database being filled with converted rows. Nothing of it
// exists for others until Finish() has succeeded; destroyed before that, it
// leaves nothing behind. Throws CDBException.
class ImportSink
{
public:
    virtual ~ImportSink() = default;
    virtual void Begin() = 0;
    virtual void Add(ZqTable table, const ZqRow& row) = 0;
    virtual void Finish() = 0;
};

// A new database file at path, made from the template as "new" makes one
// (replacing any file there only when complete).
std::unique_ptr<ImportSink> NewDatabaseFileSink(const Location& target);
std::unique_ptr<ImportSink> NewDatabaseFileSink(const QString& path); // parsed here

struct ImportCounts
{
    qint64 users = 0;
    qint64 events = 0;
};

// Checks that the source has the tables EVENTS and USERS with every column a
// ZQreader database has, of kinds that hold its values; throws CDBException
// naming what is missing or does not fit.
void CheckAccessTables(AccessTableSource& source);

// Copies USERS and EVENTS into the sink, every value and INDEX as it is, all
// or nothing. Throws CDBException, also when cancelled (with
// ImportCancelledMessage()).
ImportCounts ImportAccessTables(AccessTableSource& source, ImportSink& sink,
                                ImportProgress* progress = nullptr);

// Converts the Access file at accessPath into a new ZQreader database at
// target (replaced only when the conversion is complete). The Access file is
// only read.
ImportCounts ImportAccessFile(const QString& accessPath, const Location& target,
                              ImportProgress* progress = nullptr);
// The same for a target named as typed (parsed here).
ImportCounts ImportAccessFile(const QString& accessPath, const QString& target,
                              ImportProgress* progress = nullptr);

// The message of a conversion the user cancelled.
QString ImportCancelledMessage();
