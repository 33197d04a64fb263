#pragma once

#include <QString>

inline constexpr char kTemplateFileName[] = "template.db";

// Where the template database is: the current directory first, then beside
// the executable, then the data directory of an installation (found from the
// executable's place, then the configured one). Empty when none exists.
QString FindTemplate();
