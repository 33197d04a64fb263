#pragma once

// Exit status of zqreader-cli. A scheduler or a script tells from it whether
// to try again later (kTryAgain), to leave it to the run already under way
// (kBusy), or to call for a person (kFailed).
namespace exitcode {

constexpr int kDone = 0;       // done; for read: events downloaded, or nothing new
constexpr int kFailed = 1;     // trying again will not help: no database, not a
                               // database, no such port, not a serial port, no
                               // permission
constexpr int kUsage = 2;      // wrong command line
constexpr int kNothingNew = 3; // read --exit-nothing-new: the receiver had nothing new
constexpr int kBusy = 4;       // another read holds the database or the port
constexpr int kTryAgain = 75;  // EX_TEMPFAIL: the receiver or the line failed this
                               // time (silent, broken frames, read/write failure),
                               // or the database was locked or its server lost

} // namespace exitcode
