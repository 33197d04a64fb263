#include "view/viewlayout.h"

#include <algorithm>

RowBand VisibleRows(qint64 top, qint64 height, int lineHeight, qint64 rowCount)
{
    if (lineHeight <= 0 || height <= 0 || rowCount <= 0)
        return {};
    const qint64 lh = lineHeight;
    const qint64 bottom = top + height;
    // First row whose band ends below top: i * lh + lh > top.
    qint64 first = top >= 0 ? top / lh : 0;
    // One past the last row that starts above bottom: i * lh < bottom.
    qint64 end = bottom > 0 ? (bottom + lh - 1) / lh : 0;
    first = std::clamp<qint64>(first, 0, rowCount);
    end = std::clamp<qint64>(end, first, rowCount);
    return {first, end - first};
}

qint64 ContentHeight(qint64 rowCount, int lineHeight)
{
    return (std::max<qint64>(rowCount, 0) + 1) * lineHeight;
}
