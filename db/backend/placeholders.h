#pragma once

#include <QByteArray>
#include <QString>

// The statement as PostgreSQL takes it, each '?' that stands for a value
// numbered $1, $2, ... in order. A '?' inside a quoted string (also E'...'
// with its backslash escapes), a quoted identifier, a comment (-- to the end
// of the line, /* */ nested as the server nests them) or a dollar-quoted body
// ($$...$$, $tag$...$tag$) is left as it is. *count says how many there were.
QByteArray NumberedPlaceholders(const QString& sql, int* count);
