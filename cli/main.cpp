// zqreader-cli: the ZQreader jobs without a window, for unattended machines.

#include "cli/command.h"
#include "cli/commandline.h"
#include "cli/commandoutput.h"
#include "db/backend/processsetup.h"
#include "db/location/nativename.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// A report's PDF is painted, which takes a GUI application; it needs no
// display. Told from the words before any application parses them.
bool paints(int argc, char** argv)
{
    auto given = [argc, argv](const char* word) {
        return std::any_of(argv + 1, argv + argc, [word](const char* a) {
            return qstrcmp(a, word) == 0 || QByteArray(a).endsWith(QByteArray("=") + word);
        });
    };
    return given("report") && given("pdf");
}

std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    if (!paints(argc, argv))
        return std::make_unique<QCoreApplication>(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nothing of the session is used; its missing runtime folder is no news.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (!text.startsWith(QLatin1String("QStandardPaths:")))
            std::fprintf(stderr, "%s\n", qUtf8Printable(text));
        if (type == QtFatalMsg)
            std::abort();
    });
    return std::make_unique<QGuiApplication>(argc, argv);
}

// The command the line names, run; its exit status.
int run(int argc, char** argv)
{
    SetUpProcess();
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Korvo"));
    QCoreApplication::setApplicationName(QStringLiteral("Zq6"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZQ_VERSION));

    CommandLine line;
    if (!line.Parse(DecodeArguments(argc, argv)))
        return line.UsageError(line.ErrorText());
    if (line.HelpAsked()) {
        WriteStandardOutput(line.HelpText().toUtf8());
        return 0;
    }
    if (line.VersionAsked()) {
        PrintLine(QStringLiteral("zqreader-cli " ZQ_VERSION));
        return 0;
    }
    if (line.Words().isEmpty())
        return line.UsageError(CommandLine::tr("no command given"));
    const QString name = line.Words().constFirst();
    const Command* command = FindCommand(name);
    if (const QString misplaced = line.MisplacedOption(command); !misplaced.isEmpty())
        return line.UsageError(misplaced);
    if (!command)
        return line.UsageError(CommandLine::tr("unknown command \"%1\"").arg(name));
    return command->Run(line);
}

} // namespace

int main(int argc, char** argv)
{
    // Whatever was printed must have arrived: a full disk or a file size
    // limit is a failure, not a short output ending in success.
    return CloseStandardOutput(run(argc, argv));
}
