#pragma once

#include "db/record/users.h"
#include "formats/csv.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <QVector>

namespace users {

// The CSV form of the rows: a header "name,user_no,from,to", then a row per
// period; an empty "to" is the open end. Names are written as names says (see
// CsvText).
QByteArray ToCsv(const QVector<UserPeriod>& periods, CsvText names);

struct CsvRows
{
    QVector<UserPeriod> periods; // without INDEX
    QStringList faults;          // "line N: why", by line
};
// Reads the CSV form; every row that cannot be stored is a fault. Guarded
// names lose the quote a guarded write put before them; Raw names are taken
// as they are. Depends on nothing but the bytes.
CsvRows FromCsv(QByteArrayView bytes, CsvText names);

} // namespace users
