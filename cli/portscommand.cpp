#include "cli/portscommand.h"

#include "cli/exitcodes.h"
#include "link/portlist.h"

#include <cstdio>

namespace {

QString field(const QString& value)
{
    QString text = value.simplified();
    return text.isEmpty() ? QStringLiteral("-") : text.replace(QLatin1Char('\t'), QLatin1Char(' '));
}

} // namespace

int RunPortsCommand(bool verbose)
{
    for (const PortDetails& port : AvailablePorts()) {
        if (verbose)
            std::printf(
                "%s\t%s\t%s\t%s\t%s\n", qUtf8Printable(port.name),
                qUtf8Printable(field(port.description)), qUtf8Printable(field(port.manufacturer)),
                qUtf8Printable(field(port.serialNumber)), qUtf8Printable(field(port.byIdPath)));
        else
            std::printf("%s\n", qUtf8Printable(port.name));
    }
    std::fflush(stdout);
    return exitcode::kDone;
}
