#include "formats/userscsv.h"

#include "formats/csv.h"

#include <QCoreApplication>
#include <algorithm>

namespace users {

namespace {

const QStringList kCsvHeader{QStringLiteral("name"), QStringLiteral("user_no"),
                             QStringLiteral("from"), QStringLiteral("to")};

} // namespace

QByteArray ToCsv(const QVector<UserPeriod>& periods, CsvText names)
{
    std::string out;
    AppendCsvRecord(out, kCsvHeader);
    for (const UserPeriod& p : periods) {
        AppendCsvText(out, p.name.toUtf8(), names);
        out += ',';
        AppendCsvRecord(
            out, {QString::number(p.userNo), p.start, IsOpenEnd(p.stop) ? QString() : p.stop});
    }
    return QByteArray::fromStdString(out);
}

CsvRows FromCsv(QByteArrayView bytes, CsvText names)
{
    const CsvDocument doc = ParseCsv(bytes);
    QVector<CsvError> told = doc.errors;
    CsvRows rows;
    bool header = true;
    for (const CsvRecord& r : doc.records) {
        if (r.fields == QStringList{QString()})
            continue; // an empty line
        if (header) {
            header = false;
            QStringList names = r.fields;
            for (QString& n : names)
                n = n.trimmed().toLower();
            if (names != kCsvHeader)
                told.append(
                    {r.line, QCoreApplication::translate(
                                 "UsersCsv", "the header must be \"name,user_no,from,to\"")});
            continue;
        }
        if (r.fields.size() != 4) {
            told.append({r.line, QCoreApplication::translate("UsersCsv", "%1 fields instead of 4")
                                     .arg(r.fields.size())});
            continue;
        }
        QStringList problems;
        const QString name =
            names == CsvText::Guarded ? UnguardedText(r.fields.at(0)) : r.fields.at(0);
        const UserPeriod p =
            PeriodOf(name, r.fields.at(1), r.fields.at(2), r.fields.at(3), &problems);
        if (problems.isEmpty())
            rows.periods.append(p);
        else
            told.append({r.line, problems.join(QStringLiteral("; "))});
    }
    if (header)
        told.append({1, QCoreApplication::translate(
                            "UsersCsv", "the file has no header \"name,user_no,from,to\"")});
    std::stable_sort(told.begin(), told.end(),
                     [](const CsvError& a, const CsvError& b) { return a.line < b.line; });
    for (const CsvError& e : std::as_const(told))
        rows.faults.append(
            QCoreApplication::translate("UsersCsv", "line %1: %2").arg(e.line).arg(e.message));
    return rows;
}

} // namespace users
