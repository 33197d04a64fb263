#pragma once

#include "formats/accesssource.h"
#include "formats/boundedtool.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <memory>

// Reads an Access file with the mdbtools programs (mdb-tables, mdb-schema,
// mdb-count, mdb-export), which open it read-only. Rows are streamed from
// mdb-export as they come, so a table of any size takes little memory.
//
// Each program runs within bounds (see MdbToolLimits()); one that passes a
// bound, as the programs may on a damaged file, is killed and the call
// throws CDBException.
class MdbToolsSource : public AccessTableSource
{
public:
    // toolDir: where the programs are; empty for the search path.
    explicit MdbToolsSource(const QString& path, const QString& toolDir = {});
    ~MdbToolsSource() override;

    QStringList Tables() override;
    QVector<AccessColumn> Columns(const QString& table) override;
    qint64 RowCount(const QString& table) override;
    void ReadRows(const QString& table,
                  const std::function<bool(const AccessRow&)>& onRow) override;

private:
    QString Program(const char* name) const;
    QByteArray Run(const char* name, const QStringList& args) const;
    // Throws when the program failed or was stopped.
    void CheckEnded(const BoundedTool& tool, const char* name) const;

    QString m_path;
    QString m_toolDir;
    // Qt passes arguments as UTF-8: a name that is not UTF-8 reaches the
    // programs as a link in a folder of its own, named in UTF-8.
    std::unique_ptr<QTemporaryDir> m_linkDir;
    QString m_toolPath; // the name the programs are given
    ToolLimits m_limits;
    ToolLimits m_exportLimits;
};

// The bounds of the mdbtools programs reading an Access file of fileSize
// bytes: 120 s without output (the programs read a sound file at disk speed
// and mdb-export writes its rows as it goes, so a silent pause that long is a
// loop), 1 MiB of messages, and on standard output 16 MiB for the listings
// and 32 bytes per byte of the file for mdb-export (a table's text cannot
// legitimately be larger: the densest stored value, a one-bit Boolean, is
// two bytes of text). The environment variables ZQ_MDBTOOLS_QUIET_SECONDS,
// ZQ_MDBTOOLS_OUTPUT_BYTES and ZQ_MDBTOOLS_ERROR_BYTES set them otherwise.
ToolLimits MdbToolLimits(qint64 fileSize, bool exporting);

// What the listing programs print, read as MdbToolsSource asks for it; any
// bytes are read without failing.
// mdb-tables -1: a table name a line.
QStringList ParseMdbTables(QByteArrayView out);
// mdb-schema -T TABLE ... access: the columns of the first CREATE TABLE.
QVector<AccessColumn> ParseMdbSchema(QByteArrayView out);
// mdb-count: the number of rows, -1 when it is not a count.
qint64 ParseMdbCount(QByteArrayView out);

// The rows of mdb-export's output as MdbToolsSource asks for it: values
// separated by commas, rows by newlines, text and dates in double quotes with
// '"' and '\' escaped by a backslash, numbers bare, NULL as nothing at all.
// Bytes may come in pieces of any size.
//
// A row is held whole until its line ends, at up to some 24 bytes of memory
// for every byte of output (a value of one character is a string of its own),
// so a row may not be longer than kMostRowBytes: a program that never ends
// its line, as mdbtools may on a damaged file, would otherwise fill the
// memory long before it passes the bound of its whole output.
class MdbExportParser
{
public:
    // Far more than any row of the tables read: their values are numbers,
    // dates and names, and a Memo in a column of their own holds at most
    // 65,535 characters typed in Access.
    static constexpr qint64 kMostRowBytes = qint64(1) << 20;

    // table: named in the message of a row too long.
    explicit MdbExportParser(std::function<bool(const AccessRow&)> onRow, QString table = {});

    // False when onRow asked to stop. Throws CDBException on malformed output.
    bool Feed(QByteArrayView bytes);
    // Throws when the output ended in the middle of a row.
    void Finish() const;

private:
    enum class State
    {
        FieldStart,
        Bare,
        Quoted,
        Escaped,
        AfterQuote,
    };

    void EndField();
    bool EndRow();

    std::function<bool(const AccessRow&)> m_onRow;
    QString m_table;
    qint64 m_rowBytes = 0; // of the row under way
    State m_state = State::FieldStart;
    QByteArray m_field;
    bool m_quoted = false;
    AccessRow m_row;
    qint64 m_rows = 0;
};

AccessType AccessTypeFromName(QStringView name);
