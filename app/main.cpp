// zqreader: the desktop program. Shows the events of a database in a list
// and reads new ones from the receiver.

#include "app/commandline.h"
#include "app/desktopapp.h"
#include "app/dialogs/icons.h"
#include "app/dialogs/messagebox.h"
#include "db/backend/processsetup.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    SetUpProcess();
    // Help and version need no window system.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--"))
            break;
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(qUtf8Printable(UsageText()), stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("zqreader %s\n", ZQ_VERSION);
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setWindowIcon(LoadSvgIcon(QStringLiteral("zqreader")));
    QApplication::setDesktopFileName(QStringLiteral("zqreader"));

    // Qt's own options have been taken out of the arguments by now.
    const CommandLineInfo commandLine = ParseCommandLine(QApplication::arguments());
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "zqreader: %s\n\n%s", qUtf8Printable(commandLine.error),
                     qUtf8Printable(UsageText()));
        return 2;
    }

    MessageBoxSink messages;
    DesktopApp desktop(&messages);
    if (!desktop.Start(commandLine))
        return 1;
    return app.exec();
}
