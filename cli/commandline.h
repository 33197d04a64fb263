#pragma once

#include "cli/filteroptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <vector>

class Command;

// The options of zqreader-cli. Each belongs to the commands that take it
// (Command::Takes); one given to another command is a wrong command line.
enum class Option
{
    Port,
    LogLine,
    ExitNothingNew,
    Verbose,
    From,
    To,
    User,
    Button,
    Name,
    Output,
    Raw,
    By,
    Format,
};

// The command line, parsed once for every command: the words that name the
// command and its arguments, and the options of all commands, whose texts
// make the help.
class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    CommandLine();

    // False when the line cannot be parsed: ErrorText() says why.
    bool Parse(const QStringList& arguments);
    QString ErrorText() const { return m_parser.errorText(); }
    bool HelpAsked() const;
    bool VersionAsked() const;
    QString HelpText() const { return m_parser.helpText(); }

    // The words that are not options: the command's name, then its arguments.
    QStringList Words() const { return m_parser.positionalArguments(); }
    QStringList Arguments() const { return Words().mid(1); }

    bool IsSet(Option option) const;
    // The option's value; a null text when it is not given.
    QString Value(Option option) const;
    QStringList Values(Option option) const;
    // The filters of list, export and report as given.
    FilterOptions Filter() const;

    // What is wrong when an option is given that command (null: an unknown
    // one) does not take; empty when none is.
    QString MisplacedOption(const Command* command) const;

    // Tells a wrong command line (see cli/usage.h); returns its exit status.
    int UsageError(const QString& what) const;

private:
    const QCommandLineOption& Of(Option option) const;

    QCommandLineParser m_parser;
    std::vector<QCommandLineOption> m_options; // in the order of Option
};
