#pragma once

#include "formats/accesssource.h"

#include <QByteArray>

// Reads an Access file with the mdbtools programs (mdb-tables, mdb-schema,
// mdb-count, mdb-export), which open it read-only. Rows are streamed from
// mdb-export as they come, so a table of any size takes little memory.
class MdbToolsSource : public AccessTableSource
{
public:
    // toolDir: where the programs are; empty for the search path.
    explicit MdbToolsSource(const QString& path, const QString& toolDir = {});

    QStringList Tables() override;
    QVector<AccessColumn> Columns(const QString& table) override;
    qint64 RowCount(const QString& table) override;
    void ReadRows(const QString& table,
                  const std::function<bool(const AccessRow&)>& onRow) override;

private:
    QString Program(const char* name) const;
    QByteArray Run(const char* name, const QStringList& args) const;

    QString m_path;
    QString m_toolDir;
};

// The rows of mdb-export's output as MdbToolsSource asks for it: values
// separated by commas, rows by newlines, text and dates in double quotes with
// '"' and '\' escaped by a backslash, numbers bare, NULL as nothing at all.
// Bytes may come in pieces of any size.
class MdbExportParser
{
public:
    explicit MdbExportParser(std::function<bool(const AccessRow&)> onRow);

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
    State m_state = State::FieldStart;
    QByteArray m_field;
    bool m_quoted = false;
    AccessRow m_row;
    qint64 m_rows = 0;
};

AccessType AccessTypeFromName(QStringView name);
