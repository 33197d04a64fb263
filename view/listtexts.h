#pragma once

#include "db/record/ctime.h"
#include "db/zq6set.h"
#include "formats/rowtext.h"

// The texts of the list's lines, as FormatRow gives them for the values read:
// a date stored in the usual form that shows as itself is cut into its date
// and time without converting it, and the numbers are written directly.
class ListTexts
{
public:
    RowTexts Make(const ListRow& row);

private:
    StoredTextCheck m_dates;
};

// "%6d"
QString PaddedNumber(qint32 value);
