#pragma once

#include "db/eventfilter.h"

#include <QString>
#include <QStringList>

// The filter options of list and export as given: a null text or an empty
// list for an option not given.
struct FilterOptions
{
    QString from;
    QString to;
    QStringList userNos; // --user, any number of times
    QString button;
    QString name;
};

// Parses the options into *filter. Returns what is wrong with them, one
// line naming the option, or an empty text when they are sound.
QString ParseFilterOptions(const FilterOptions& options, EventFilter* filter);
