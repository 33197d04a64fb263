#pragma once

#include "link/portname.h"

#include <QString>
#include <QStringList>
#include <optional>

// zqreader [DB] [--port NAME] [--help] [--version]
struct CommandLineInfo
{
    QString dbPath;               // the database to open at start, empty for none
    std::optional<PortName> port; // the port for this run, not stored
    bool help = false;
    bool version = false;
    QString error; // why the command line was not understood
};

// arguments: the program name first, then its arguments.
CommandLineInfo ParseCommandLine(const QStringList& arguments);

QString UsageText();
