#include "cli/command.h"

#include "cli/exportcommand.h"
#include "cli/importcommand.h"
#include "cli/listcommand.h"
#include "cli/newcommand.h"
#include "cli/portscommand.h"
#include "cli/readcommand.h"
#include "cli/reportcommand.h"
#include "cli/userscommands.h"

#include <QCoreApplication>

namespace {

// The commands, in the order of the help.
const std::vector<const Command*>& commands()
{
    static const NewCommand newCommand;
    static const ListCommand list;
    static const ReadCommand read;
    static const PortsCommand ports;
    static const ImportCommand import;
    static const ExportCommand exportCommand;
    static const ReportCommand report;
    static const UsersCommand users;
    static const std::vector<const Command*> all{&newCommand, &list,          &read,   &ports,
                                                 &import,     &exportCommand, &report, &users};
    return all;
}

} // namespace

Command::Command(const char* name, std::initializer_list<Option> options,
                 std::initializer_list<Synopsis> synopses)
    : m_name(name), m_options(options), m_synopses(synopses)
{
}

bool Command::Takes(Option option) const
{
    return m_options.contains(option);
}

QStringList Command::UsageLines(const QString& subcommand) const
{
    const QString named = Name() + QLatin1Char(' ') + subcommand;
    QStringList all;
    QStringList chosen;
    for (const Synopsis& s : m_synopses) {
        const QString line = QStringLiteral("zqreader-cli %1 %2")
                                 .arg(QLatin1StringView(s.command),
                                      QCoreApplication::translate("CommandLine", s.rest));
        all << line;
        if (named == QLatin1StringView(s.command))
            chosen << line;
    }
    return chosen.isEmpty() ? all : chosen;
}

const Command* FindCommand(const QString& name)
{
    for (const Command* command : commands()) {
        if (command->Name() == name)
            return command;
    }
    return nullptr;
}
