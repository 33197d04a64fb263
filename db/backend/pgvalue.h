#pragma once

#include "db/backend/statement.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVariant>

// Both sides of PostgreSQL's text protocol: the texts a server sends for the
// columns of a row and the values the program binds.

using PgTypeId = unsigned int; // an Oid of the client library

// The type a column of the server's type comes as.
QMetaType PgColumnType(PgTypeId type);
// What kind of value a column of that type holds.
ValueType PgValueType(PgTypeId type);

// A column's text as that type, as Qt's own PostgreSQL driver gives it:
// whole numbers of int8 as qulonglong unless negative, timestamps as local
// time (one in an hour the spring change skips is invalid), numeric as a
// double.
QVariant PgColumnValue(PgTypeId type, const char* text, int length);

// A bound value (not null) as the text the server reads for it; *binary
// when the bytes go as they are (a QByteArray for a bytea).
QByteArray PgParameterText(const QVariant& value, bool* binary);
