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

// mktime() for the given fields with a fixed daylight-saving guess; reports
// whether the result really shows those fields in local time.
bool tryLocal(const std::tm& fields, int isdst, qint64* result)
{
    std::tm probe = fields;
    probe.tm_isdst = isdst;
    const std::time_t t = std::mktime(&probe);
    std::tm back{};
    if (t == static_cast<std::time_t>(-1) && !toLocal(-1, &back))
        return false;
    if (!toLocal(t, &back) || !sameFields(back, fields))
        return false;
    *result = t;
    return true;
}

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

    // Both readings exist only in the repeated hour; the summer one is earlier.
    qint64 summer = 0, winter = 0;
    const bool hasSummer = tryLocal(fields, 1, &summer);
    const bool hasWinter = tryLocal(fields, 0, &winter);
    if (hasSummer && hasWinter)
        return CTime(std::min(summer, winter));
    if (hasSummer)
        return CTime(summer);
    if (hasWinter)
        return CTime(winter);

    // A local time skipped by the spring change, or a day that does not exist
    // in that month: let the C library normalise it.
    std::tm probe = fields;
    probe.tm_isdst = -1;
    const std::time_t t = std::mktime(&probe);
    if (fields.tm_mday > 28 && probe.tm_mon != fields.tm_mon)
        return Invalid();
    return CTime(static_cast<qint64>(t));
}
