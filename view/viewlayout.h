#pragma once

#include <QtGlobal>
#include <array>

// The arithmetic of the event list, apart from any window: row i occupies the
// band y = i * lh .. (i + 1) * lh of the content.

// Left edges of the five texts of a line: date, time, user number, name, timer.
inline constexpr std::array<int, 5> kColumnX = {0, 90, 160, 220, 450};

// The rows that reach into the band top .. top + height: row i is in it when
// y + lh > top and y < top + height. count is 0 when no row is.
struct RowBand
{
    qint64 first = 0;
    qint64 count = 0;
};

RowBand VisibleRows(qint64 top, qint64 height, int lineHeight, qint64 rowCount);

// The scrollable height: one line more than there are rows.
qint64 ContentHeight(qint64 rowCount, int lineHeight);
