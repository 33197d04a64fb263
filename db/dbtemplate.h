#pragma once

#include <QString>

inline constexpr char kTemplateFileName[] = "template.db";

// Where the template database is: the current directory first, then beside
// the executable, then the installed data directory. Empty when none exists.
QString FindTemplate();
