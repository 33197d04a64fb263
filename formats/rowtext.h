#pragma once

#include "db/joinstream.h"
#include "db/record/ctime.h"

#include <QString>
#include <string>

// The five texts of one line of the event list.
struct RowTexts
{
    QString date;
    QString time;
    QString userNo;
    QString name;
    QString timer;
};

// The name with its control characters escaped (VisibleText()).
RowTexts FormatRow(CTime date, qint32 userNo, const QString& name, qint32 timer);

// A stored integer that fits a 32-bit number, as it is; false for anything else.
bool WholeNumber(const JoinedRowValues& row, JoinedRowValues::Column column, qint32* value);

// Whether the stored UTF-8 bytes read back as exactly themselves through
// QString and hold no NUL.
bool IsPlainUtf8(QByteArrayView text);

// Lines of the list as printed: "date\ttime\tuser\tname\ttimer\n" in UTF-8,
// each text as FormatRow gives it for the values as read (a name's control
// characters escaped). A row whose date is stored in the usual form and
// shows as itself, whose numbers are whole and whose name is plain UTF-8
// without control characters is copied without conversions; any other row
// takes the full way.
class ListLineWriter
{
public:
    void Append(std::string& out, const JoinedRowValues& row);

private:
    StoredTextCheck m_dates;
};
