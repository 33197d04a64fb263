#pragma once

#include <QString>

class StagedFile;

inline constexpr char kTemplateFileName[] = "template.db";

// Where the template database is: beside the executable, then the data
// directory of an installation (found from the executable's place, then the
// configured one), and only when the program has none of its own the current
// directory. Empty when none exists.
QString FindTemplate();

// Writes a copy of the template into staged, beside the file it is to replace,
// and checks the copy: it must open as an intact ZQreader database holding
// exactly the program's own tables and indexes (those res/schema.sql makes)
// and no rows. Throws CDBException naming the template, the target (as
// shown) and what was wrong; staged then removes the copy, so nothing is
// created.
void WriteTemplateCopy(StagedFile& staged, const QString& shownTarget);

// More than any template, and little for memory.
inline constexpr qint64 kMaxTemplateBytes = qint64{64} * 1024 * 1024;
