#pragma once

#include <QByteArrayView>
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

// Tells cheaply whether a stored text of the form "YYYY-MM-DD HH:MM:SS" shows
// as exactly itself: whether FromDbText() of it, formatted back with
// "%Y-%m-%d %H:%M:%S", gives the same text. That is worked out with both
// conversions once for the first and the last second of an hour and
// remembered: an hour shows as itself as a whole unless a change of the
// zone's offset falls into it (the hour skipped in spring, for example).
// Texts of any other form are not answered: false.
class StoredTextCheck
{
public:
    bool ShowsAsItself(QByteArrayView text);

private:
    struct Hour
    {
        qint64 key = -1; // YYYYMMDDHH
        bool plain = false;
    };
    static bool IsPlainHour(QByteArrayView text);

    Hour m_hours[256];
};

// Writes ToDbText() of many instants as UTF-8, faster: the zone's offset is
// looked up once per hour and the fields are worked out from it, in hours
// where the offset stays the same throughout; elsewhere it is ToDbText().
class DbTextWriter
{
public:
    static constexpr int kMaxSize = 64;

    // Writes into out (kMaxSize bytes) and returns the size, 0 when
    // ToDbText() is empty.
    qsizetype Write(CTime time, char* out);

private:
    qint64 m_hour = std::numeric_limits<qint64>::min(); // first second, UTC
    long m_offset = 0;
    bool m_plain = false;
};
