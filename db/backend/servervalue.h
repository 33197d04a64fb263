#pragma once

#include <QByteArray>
#include <QSql>
#include <QString>
#include <QVariant>

// The texts a PostgreSQL server sends and takes, and the values the program
// reads and binds: both sides of the text protocol, and the numbering of a
// statement's values.

using ServerTypeId = unsigned int; // an Oid of the client library

// '?' outside quotes becomes $1, $2, ... as the server numbers values;
// *count says how many there were.
QByteArray NumberedPlaceholders(const QString& sql, int* count);

// The type a column of the server's type comes as.
QMetaType ServerColumnType(ServerTypeId type);

// A column's text as that type, as Qt's own PostgreSQL driver gives it
// (whole numbers of int8 as qulonglong unless negative, timestamps as local
// time, numeric after the precision policy).
QVariant ServerColumnValue(ServerTypeId type, const char* text, int length,
                           QSql::NumericalPrecisionPolicy policy);

// A bound value (not null) as the text the server reads for it; *binary
// when the bytes go as they are (a QByteArray for a bytea).
QByteArray ServerParameterText(const QVariant& value, bool* binary);
