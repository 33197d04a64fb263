#include "db/ctime.h"

#include <QRegularExpression>
#include <ctime>

namespace {

bool toLocal(qint64 seconds, std::tm* out)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    if (static_cast<qint64>(t) != seconds)
        return false;
#ifdef _WIN32
    return _localtime64_s(out, &t) == 0;
#else
    return localtime_r(&t, out) != nullptr;
#endif
}

bool sameFields(const std::tm& a, const std::tm& b)
{
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
           a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

#ifndef _WIN32
// Seconds since 1970 of a calendar date and time read as UTC.
qint64 asUtc(const std::tm& f)
{
    // Days from civil, proleptic Gregorian calendar.
    qint64 y = f.tm_year + 1900;
    const int m = f.tm_mon + 1;
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + f.tm_mday - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const qint64 days = era * 146097 + doe - 719468;
    return days * 86400 + f.tm_hour * 3600 + f.tm_min * 60 + f.tm_sec;
}

// Offset of local time from UTC at the instant, in seconds.
bool localOffset(qint64 t, long* offset)
{
    std::tm tm{};
    if (!toLocal(t, &tm))
        return false;
    *offset = tm.tm_gmtoff;
    return true;
}
#endif

} // namespace

CTime CTime::GetCurrentTime()
{
    return CTime(static_cast<qint64>(std::time(nullptr)));
}

QString CTime::Format(const char* format) const
{
    std::tm tm{};
    if (!IsValid() || !toLocal(m_time, &tm))
        return {};
    char buffer[128];
    const size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
    return QString::fromLocal8Bit(buffer, static_cast<qsizetype>(n));
}

QString CTime::ToDbText() const
{
    return Format("%Y-%m-%d %H:%M:%S");
}

CTime CTime::FromDbText(QStringView text)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2}))?"
                       "(?:\\.\\d*)?)?\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return Invalid();
    std::tm fields{};
    fields.tm_year = m.capturedView(1).toInt() - 1900;
    fields.tm_mon = m.capturedView(2).toInt() - 1;
    fields.tm_mday = m.capturedView(3).toInt();
    fields.tm_hour = m.capturedView(4).toInt();
    fields.tm_min = m.capturedView(5).toInt();
    fields.tm_sec = m.capturedView(6).toInt();
    if (fields.tm_mon < 0 || fields.tm_mon > 11 || fields.tm_mday < 1 || fields.tm_mday > 31 ||
        fields.tm_hour > 23 || fields.tm_min > 59 || fields.tm_sec > 59)
        return Invalid();

#ifdef _WIN32
    std::tm probe = fields;
    probe.tm_isdst = -1;
    const qint64 t = _mktime64(&probe);
    if (t == -1 || probe.tm_mday != fields.tm_mday)
        return Invalid();
    return CTime(t);
#else
    const qint64 utc = asUtc(fields);
    // The offsets in force a day either side cover any change of the zone's
    // rules near that time. Each offset that gives back the same local time
    // is a reading; in the repeated autumn hour there are two, and the
    // earlier is taken.
    long offsets[3];
    for (int i = 0; i < 3; ++i) {
        if (!localOffset(utc + (i - 1) * 86400, &offsets[i]))
            return Invalid();
    }
    bool found = false;
    qint64 best = 0;
    for (long offset : offsets) {
        const qint64 t = utc - offset;
        std::tm back{};
        if (toLocal(t, &back) && sameFields(back, fields) && (!found || t < best)) {
            best = t;
            found = true;
        }
    }
    if (found)
        return CTime(best);
    // The day does not exist in that month (checked by the round trip of the
    // date part), or the time was skipped by the spring change: read the
    // latter with the offset from before the change.
    std::tm back{};
    if (!toLocal(utc - offsets[0], &back) || back.tm_mday != fields.tm_mday) {
        if (!toLocal(utc - offsets[2], &back) || back.tm_mday != fields.tm_mday)
            return Invalid();
    }
    return CTime(utc - offsets[0]);
#endif
}
