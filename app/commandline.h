#pragma once

#include <QString>
#include <QStringList>

// zqreader [DB] [--port NAME] [--help] [--version]
struct CommandLineInfo
{
    QString dbPath;   // the database to open at start, empty for none
    QString portName; // the port for this run, not stored
    bool portGiven = false;
    bool help = false;
    bool version = false;
    QString error; // why the command line was not understood
};

// arguments: the program name first, then its arguments.
CommandLineInfo ParseCommandLine(const QStringList& arguments);

QString UsageText();
