#include "db/record/datetext.h"

#include <QCoreApplication>
#include <QDate>
#include <QRegularExpression>

namespace datetext {

namespace {

QString translated(const char* text)
{
    return QCoreApplication::translate("datetext", text);
}

Parsed failed(Problem problem, const QString& reason)
{
    Parsed p;
    p.problem = problem;
    p.reason = reason;
    return p;
}

} // namespace

Parsed Parse(QStringView text)
{
    // Digits as ASCII only: the stored text is compared as text.
    static const QRegularExpression form(
        QStringLiteral("^([0-9]+)-([0-9]{1,2})-([0-9]{1,2})"
                       "(?:(?:T| +)([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?)?$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return failed(Problem::NotADate,
                      translated("Not a date: write YYYY-MM-DD, optionally with a time HH:MM "
                                 "or HH:MM:SS."));
    // More digits than an int holds are out of range all the same.
    const QStringView yearText = m.capturedView(1);
    const int year = yearText.size() > 5 ? kMaxYear + 1 : yearText.toInt();
    const int month = m.capturedView(2).toInt();
    const int day = m.capturedView(3).toInt();
    if (year < kMinYear || year > kMaxYear)
        return failed(Problem::Year,
                      translated("The year must be from %1 to %2.").arg(kMinYear).arg(kMaxYear));
    if (month < 1 || month > 12)
        return failed(Problem::Month,
                      translated("There is no month %1: months are 1 to 12.").arg(month));
    if (!QDate(year, month, day).isValid())
        return failed(Problem::NoSuchDay, translated("%1-%2 has no day %3.")
                                              .arg(year)
                                              .arg(month, 2, 10, QLatin1Char('0'))
                                              .arg(day));
    const bool timeGiven = m.hasCaptured(4);
    const int hour = m.capturedView(4).toInt();
    const int minute = m.capturedView(5).toInt();
    const int second = m.capturedView(6).toInt();
    if (hour > 23)
        return failed(Problem::Hour, translated("The hour must be from 0 to 23."));
    if (minute > 59)
        return failed(Problem::Minute, translated("The minutes must be from 00 to 59."));
    if (second > 59)
        return failed(Problem::Second, translated("The seconds must be from 00 to 59."));
    Parsed p;
    p.timeGiven = timeGiven;
    const QLatin1Char zero('0');
    p.stored = QStringLiteral("%1-%2-%3 %4:%5:%6")
                   .arg(year, 4, 10, zero)
                   .arg(month, 2, 10, zero)
                   .arg(day, 2, 10, zero)
                   .arg(hour, 2, 10, zero)
                   .arg(minute, 2, 10, zero)
                   .arg(second, 2, 10, zero);
    return p;
}

QString EndOfDay(QStringView stored)
{
    const QDate next =
        QDate::fromString(stored.left(10).toString(), QStringLiteral("yyyy-MM-dd")).addDays(1);
    if (!next.isValid() || next.year() > kMaxYear)
        return {};
    return next.toString(QStringLiteral("yyyy-MM-dd 00:00:00"));
}

} // namespace datetext
