#pragma once

#include "db/record/ctime.h"
#include "db/zq6set.h"
#include "formats/rowtext.h"

// The texts of the list's lines, as FormatRow gives them for the values read:
// a date stored in the usual form that shows as itself is cut into its date
// and time without converting it, and the numbers are written directly.
// The numbers come padded to six places as `zqreader-cli list` prints them,
// or without padding (for drawing them right-aligned).
class ListTexts
{
public:
    explicit ListTexts(bool padded = true) : m_padded(padded) {}

    RowTexts Make(const ListRow& row);

private:
    QString Number(qint32 value) const;

    StoredTextCheck m_dates;
    bool m_padded;
};

// "%6d"
QString PaddedNumber(qint32 value);
