#pragma once

#include "cli/commandline.h"

#include <QLatin1StringView>
#include <QList>
#include <QStringList>
#include <initializer_list>
#include <vector>

// One command of zqreader-cli, as the first word of the command line names
// it: the options it takes, its usage lines and what it does. A new command
// is a class of its own (cli/<name>command.h) and a line in the table of
// cli/command.cpp; its options, if new, go into cli/commandline.cpp.
class Command
{
public:
    // One line of usage: the words that name the command (a group's
    // subcommand too: "users add") and what follows them.
    struct Synopsis
    {
        const char* command;
        const char* rest;
    };

    Command(const char* name, std::initializer_list<Option> options,
            std::initializer_list<Synopsis> synopses);
    virtual ~Command() = default;
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    QLatin1StringView Name() const { return QLatin1StringView(m_name); }
    // Whether the option may be given with this command.
    bool Takes(Option option) const;
    // The usage lines for the message of a wrong command line: of the
    // subcommand the word after the name names, else all of them.
    QStringList UsageLines(const QString& subcommand) const;

    // Runs it with line, whose options it takes; returns the exit status
    // (cli/exitcodes.h).
    virtual int Run(const CommandLine& line) const = 0;

private:
    const char* m_name;
    QList<Option> m_options;
    QList<Synopsis> m_synopses;
};

// The command the word names; null for none.
const Command* FindCommand(const QString& name);
