#include "db/record/ctime.h"

#include <QRegularExpression>
#include <algorithm>
#include <cstring>
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
    return days * 86400 + qint64{f.tm_hour} * 3600 + qint64{f.tm_min} * 60 + f.tm_sec;
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
        if (!localOffset(utc + qint64{i - 1} * 86400, &offsets[i]))
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

bool StoredTextCheck::IsPlainHour(QByteArrayView text)
{
    QByteArray first = text.toByteArray();
    QByteArray last = first;
    first.replace(13, 6, ":00:00");
    last.replace(13, 6, ":59:59");
    const CTime start = CTime::FromDbText(QString::fromLatin1(first));
    const CTime end = CTime::FromDbText(QString::fromLatin1(last));
    return start.IsValid() && end.IsValid() && end.GetTime() - start.GetTime() == 3599 &&
           start.ToDbText() == QLatin1String(first) && end.ToDbText() == QLatin1String(last);
}

bool StoredTextCheck::ShowsAsItself(QByteArrayView text)
{
    if (text.size() != 19)
        return false;
    const char* s = text.data();
    auto digit = [s](int i) { return s[i] >= '0' && s[i] <= '9'; };
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
        if (!digit(i))
            return false;
    }
    if (s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' || s[16] != ':' || s[14] > '5' ||
        s[17] > '5')
        return false;
    qint64 key = 0;
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12})
        key = key * 10 + (s[i] - '0');
    Hour& hour = m_hours[key % std::size(m_hours)];
    if (hour.key != key) {
        hour.plain = IsPlainHour(text);
        hour.key = key;
    }
    return hour.plain;
}

namespace {

#ifndef _WIN32
struct Civil
{
    qint64 year;
    int month, day, hour, minute, second;
};

// The calendar date and time of seconds since 1970 read as UTC.
Civil civilOf(qint64 seconds)
{
    qint64 days = seconds / 86400;
    qint64 rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil from days, proleptic Gregorian calendar.
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (month <= 2), month,         day, int(rest / 3600),
            int(rest % 3600 / 60),          int(rest % 60)};
}

bool sameAs(const Civil& c, const std::tm& tm)
{
    return c.year == tm.tm_year + 1900 && c.month == tm.tm_mon + 1 && c.day == tm.tm_mday &&
           c.hour == tm.tm_hour && c.minute == tm.tm_min && c.second == tm.tm_sec;
}

void putDigits(char* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = char('0' + value % 10);
}
#endif

} // namespace

qsizetype DbTextWriter::Write(CTime time, char* out)
{
    if (!time.IsValid())
        return 0;
#ifndef _WIN32
    const qint64 t = time.GetTime();
    qint64 hour = t - t % 3600;
    if (t % 3600 < 0)
        hour -= 3600;
    if (hour != m_hour) {
        m_hour = hour;
        std::tm first{};
        std::tm last{};
        m_plain = toLocal(hour, &first) && toLocal(hour + 3599, &last) &&
                  first.tm_gmtoff == last.tm_gmtoff && first.tm_year + 1900 >= 1000 &&
                  last.tm_year + 1900 <= 9999 && sameAs(civilOf(hour + first.tm_gmtoff), first) &&
                  sameAs(civilOf(hour + 3599 + last.tm_gmtoff), last);
        m_offset = first.tm_gmtoff;
    }
    if (m_plain) {
        const Civil c = civilOf(t + m_offset);
        std::copy_n("0000-00-00 00:00:00", 19, out);
        putDigits(out, int(c.year), 4);
        putDigits(out + 5, c.month, 2);
        putDigits(out + 8, c.day, 2);
        putDigits(out + 11, c.hour, 2);
        putDigits(out + 14, c.minute, 2);
        putDigits(out + 17, c.second, 2);
        return 19;
    }
#endif
    const QByteArray text = time.ToDbText().toUtf8();
    const qsizetype size = std::min<qsizetype>(text.size(), kMaxSize);
    std::memcpy(out, text.constData(), size_t(size));
    return size;
}
