#pragma once

#include <QString>
#include <QtGlobal>
#include <limits>

// A point in time: seconds since 1970-01-01 00:00:00 UTC. The database holds
// the local calendar time of that instant as text "YYYY-MM-DD HH:MM:SS".
class CTime
{
public:
    CTime() = default;
    explicit CTime(qint64 seconds) : m_time(seconds) {}

    static CTime Invalid() { return CTime(kInvalid); }
    static CTime GetCurrentTime();

    bool IsValid() const { return m_time != kInvalid; }
    qint64 GetTime() const { return m_time; }

    // strftime() of the local calendar time; empty when the instant cannot be
    // converted or the format yields nothing.
    QString Format(const char* format) const;

    // "YYYY-MM-DD HH:MM:SS" in local time, as stored in the database.
    QString ToDbText() const;

    // Parses the stored text (a trailing fraction or a 'T' separator written
    // by other tools is accepted) as local time with the zone rules in force
    // for that date. In the repeated hour at the end of daylight saving time
    // the earlier instant is taken. Invalid() when the text is no date-time.
    static CTime FromDbText(QStringView text);

    friend bool operator==(CTime a, CTime b) { return a.m_time == b.m_time; }

private:
    static constexpr qint64 kInvalid = std::numeric_limits<qint64>::min();
    qint64 m_time = 0;
};
