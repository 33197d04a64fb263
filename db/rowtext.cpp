#include "db/rowtext.h"

RowTexts FormatRow(CTime date, qint32 userNo, const QString& name, qint32 timer)
{
    return {date.Format("%Y-%m-%d"), date.Format("%H:%M:%S"), QString::asprintf("%6d", userNo),
            name, QString::asprintf("%6d", timer)};
}
