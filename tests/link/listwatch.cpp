// The desktop program as the tests run it beside others: the real application
// offscreen on the database named on the command line, which prints the number
// of rows in the list ("rows N") each time the list is told to update, and the
// messages it would show ("message TEXT") and its document's title ("title
// TEXT") on standard error.

#include "app/commandline.h"
#include "app/desktopapp.h"
#include "db/backend/processsetup.h"
#include "db/messages.h"
#include "db/record/dbstate.h"
#include "db/zq6doc.h"
#include "db/zq6set.h"

#include <QApplication>
#include <cstdio>

namespace {

class PrintedMessages : public MessageSink
{
public:
    void ShowMessage(const UserMessage& message) override
    {
        std::fprintf(stderr, "message %s\n%s\n", qUtf8Printable(message.text),
                     qUtf8Printable(message.detail));
        std::fflush(stderr);
    }
};

class PrintingView : public CDocView
{
public:
    void OnUpdate() override
    {
        std::printf("rows %lld\n", g_pSet && g_pSet->IsOpen() ? g_pSet->CountRows() : -1LL);
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv)
{
    SetUpProcess();
    QApplication qapp(argc, argv);
    if (argc != 2)
        return 2;
    PrintedMessages messages;
    DesktopApp app(&messages);
    CommandLineInfo info;
    info.dbPath = QString::fromLocal8Bit(argv[1]);
    if (!app.Start(info))
        return 1;
    std::fprintf(stderr, "title %s\n", qUtf8Printable(app.Document()->GetTitle()));
    std::fflush(stderr);
    PrintingView view;
    app.Document()->AddView(&view);
    view.OnUpdate();
    const int status = QApplication::exec();
    app.Document()->RemoveView(&view);
    return status;
}
