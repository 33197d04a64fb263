#include "app/commandline.h"

#include "db/location/nativename.h"

#include <QCommandLineParser>
#include <QCoreApplication>

CommandLineInfo ParseCommandLine(const QStringList& arguments)
{
    CommandLineInfo info;
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QCoreApplication::translate("CommandLine", "Show this help."));
    const QCommandLineOption version(
        QStringLiteral("version"),
        QCoreApplication::translate("CommandLine", "Show the program's version."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QCoreApplication::translate("CommandLine", "Serial port."),
                                  QStringLiteral("NAME"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(port);
    parser.addPositionalArgument(QStringLiteral("DB"),
                                 QCoreApplication::translate("CommandLine", "Database."));
    if (!parser.parse(ExactArguments(arguments))) {
        info.error = parser.errorText();
        return info;
    }
    info.help = parser.isSet(help);
    info.version = parser.isSet(version);
    if (parser.isSet(port)) {
        info.port = PortName::Parse(parser.value(port));
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        info.error = QCoreApplication::translate("CommandLine", "only one database can be opened");
    else if (!positional.isEmpty())
        info.dbPath = positional.first();
    return info;
}

QString UsageText()
{
    return QCoreApplication::translate(
        "CommandLine",
        "Usage: zqreader [DB] [--port NAME]\n"
        "Keeps the event log of a receiver in a database and shows it in a list.\n"
        "\n"
        "  DB           the database to open at start (none: an empty window)\n"
        "  --port NAME  read events through serial port NAME for this run, without\n"
        "               storing it (also a port the system does not list, such as a\n"
        "               pseudo-terminal like /dev/pts/3)\n"
        "  -h, --help   show this help\n"
        "  --version    show the program's version\n");
}
