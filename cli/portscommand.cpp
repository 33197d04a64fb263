#include "cli/portscommand.h"

#include "cli/commandoutput.h"
#include "cli/exitcodes.h"
#include "link/portlist.h"

#include <QStringList>

namespace {

QString field(const QString& value)
{
    QString text = value.simplified();
    return text.isEmpty() ? QStringLiteral("-") : text.replace(QLatin1Char('\t'), QLatin1Char(' '));
}

} // namespace

PortsCommand::PortsCommand()
    : Command("ports", {Option::Verbose},
              {{"ports", QT_TRANSLATE_NOOP("CommandLine", "[--verbose]")}})
{
}

int PortsCommand::Run(const CommandLine& line) const
{
    if (!line.Arguments().isEmpty())
        return line.UsageError(CommandLine::tr("ports takes no argument"));
    const bool verbose = line.IsSet(Option::Verbose);
    for (const PortDetails& port : AvailablePorts()) {
        if (verbose)
            PrintLine(QStringList{port.name, field(port.description), field(port.manufacturer),
                                  field(port.serialNumber), field(port.byIdPath)}
                          .join(QLatin1Char('\t')));
        else
            PrintLine(port.name);
    }
    return FlushStandardOutput() ? exitcode::kDone : exitcode::kFailed;
}
