#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVector>
#include <string>

// Comma-separated values as RFC 4180 has them: fields with a comma, a quote
// or a line break are put in quotes, a quote inside doubled; records end with
// CRLF. Text is UTF-8.

struct CsvRecord
{
    int line = 0; // the line the record starts on, from 1
    QStringList fields;
};

struct CsvError
{
    int line = 0;
    QString message;
};

struct CsvDocument
{
    QVector<CsvRecord> records;
    QVector<CsvError> errors;
};

// Reads every record of the bytes. Line ends may be CRLF or LF, a UTF-8 byte
// order mark at the start is skipped, an empty line is a record of one empty
// field. A record that is not well formed (a quote inside an unquoted field,
// text after a closing quote, a quote that never closes, bytes that are not
// UTF-8) is left out and told in errors. Depends on nothing but the bytes.
CsvDocument ParseCsv(QByteArrayView bytes);

// Appends one field, quoted when it needs to be.
void AppendCsvField(std::string& out, QByteArrayView utf8);
// Appends the fields as one record, CRLF included.
void AppendCsvRecord(std::string& out, const QStringList& fields);

inline constexpr char kCsvLineEnd[] = "\r\n";
