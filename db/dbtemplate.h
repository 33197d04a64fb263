#pragma once

#include <QString>

inline constexpr char kTemplateFileName[] = "template.db";

// Where the template database is: the current directory first, then beside
// the executable, then the data directory of an installation (found from the
// executable's place, then the configured one). Empty when none exists. The
// name may hold bytes that are not UTF-8 (see nativename.h).
QString FindTemplate();

// More than any template, and little for memory.
inline constexpr qint64 kMaxTemplateBytes = qint64{64} * 1024 * 1024;
