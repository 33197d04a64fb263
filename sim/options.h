// The command line of zqreader-sim, taken apart in one place.
#pragma once

#include "receiver.h"
#include "simlog.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace zqsim {

// What the command line asks for: the receiver's log and counter, its faults,
// and where and how fast the line is served.
struct Options
{
    Q_DECLARE_TR_FUNCTIONS(Options)

public:
    QList<Event> log;
    quint32 counter = 0;
    quint64 seed = 1;
    int pace = 9600; // baud; 0: unpaced
    Faults faults;
    std::optional<QString> link;   // a symbolic link to make to the pseudo-terminal
    std::optional<QString> listen; // HOST:PORT to serve on instead of a pseudo-terminal
    bool verbose = false;
};

// Parses app's command line; --help and --version are answered and end the
// program, as QCommandLineParser does. A wrong command line is told on
// standard error: none is returned and *status is the exit status.
std::optional<Options> ParseOptions(const QCoreApplication& app, int* status);

} // namespace zqsim
