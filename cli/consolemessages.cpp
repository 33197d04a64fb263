#include "cli/consolemessages.h"

#include "cli/commandoutput.h"

#include <cstdio>

void ConsoleMessages::ShowMessage(const UserMessage& message)
{
    if (message.IsError())
        m_errors.append(message);
    if (!m_echo)
        return;
    if (!message.IsError() && !message.IsWarning()) {
        PrintLine(message.text);
        if (!message.detail.isEmpty())
            PrintLine(message.detail);
        FlushStandardOutput();
        return;
    }
    std::fprintf(stderr, "%s\n", qUtf8Printable(message.text));
    if (!message.detail.isEmpty())
        std::fprintf(stderr, "%s\n", qUtf8Printable(message.detail));
    std::fflush(stderr);
}
