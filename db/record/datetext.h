#pragma once

#include <QString>
#include <QStringView>

// Dates and times as people type them, read into the text the database
// stores ("YYYY-MM-DD HH:MM:SS", local wall-clock time). The desktop's date
// fields and the command line read them here alike.
namespace datetext {

// The years a date may have: four digits, so that stored texts compare as
// the moments they name. Every date the program reads, typed or given on the
// command line, and every bound it makes of one, lies within them.
inline constexpr int kMinYear = 1000;
inline constexpr int kMaxYear = 9999;

enum class Problem
{
    None,
    NotADate, // not of the form YYYY-MM-DD [HH:MM[:SS]]
    Year,
    Month,
    NoSuchDay,
    Hour,
    Minute,
    Second,
};

struct Parsed
{
    QString stored; // "YYYY-MM-DD HH:MM:SS"; empty unless problem is None
    bool timeGiven = false;
    Problem problem = Problem::None;
    // Why the text cannot be read, a short sentence for the user; empty
    // when it can.
    QString reason;

    explicit operator bool() const { return problem == Problem::None; }
};

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS", with one or two
// digits for the month, the day and the hour, and a 'T' or spaces between
// the day and the time; spaces around are ignored. A day alone means its
// start, 00:00:00.
Parsed Parse(QStringView text);

// The bound before which every moment of a day lies, for the day of a stored
// text ("YYYY-MM-DD" and anything after it): the start of the next day,
// "YYYY-MM-DD 00:00:00". Empty, no bound at all, for the last day of year
// kMaxYear: every date lies before its end, and the day after it would be no
// stored date (nor compare as one). Empty also for a text that names no day.
QString EndOfDay(QStringView stored);

} // namespace datetext
