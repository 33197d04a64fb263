#pragma once

#include "db/ctime.h"

#include <QString>

// The five texts of one line of the event list.
struct RowTexts
{
    QString date;
    QString time;
    QString userNo;
    QString name;
    QString timer;
};

RowTexts FormatRow(CTime date, qint32 userNo, const QString& name, qint32 timer);
