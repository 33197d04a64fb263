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

// Spreadsheets run a field that starts with '=', '+', '-' or '@' (or a tab or
// a carriage return) as a formula, which can start programs or send data
// away. Text that people typed, such as a name, is therefore written Guarded
// by default: a single quote before such a start, which spreadsheets take as
// "text as it stands". A text that starts with quotes followed by such a
// character gets one quote more, so that taking one quote off (UnguardedText)
// gives back every text exactly. Raw writes the text as it is.
enum class CsvText
{
    Guarded,
    Raw,
};
// Appends one field of text, quoted when it needs to be.
void AppendCsvText(std::string& out, QByteArrayView utf8, CsvText how);
// The text of a field read back: without the quote a Guarded write put in.
QString UnguardedText(const QString& field);

inline constexpr char kCsvLineEnd[] = "\r\n";
