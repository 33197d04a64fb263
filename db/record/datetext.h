#pragma once

#include <QString>
#include <QStringView>

// Dates and times as people type them, read into the text the database
// stores ("YYYY-MM-DD HH:MM:SS", local wall-clock time). The desktop's date
// fields and the command line read them here alike.
namespace datetext {

// The years a date may have: four digits, so that stored texts compare as
// the moments they name.
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

} // namespace datetext
