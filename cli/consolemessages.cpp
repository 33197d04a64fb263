#include "cli/consolemessages.h"

#include <cstdio>

void ConsoleMessages::ShowMessage(const UserMessage& message)
{
    FILE* out = message.IsError() ? stderr : stdout;
    m_sawError = m_sawError || message.IsError();
    std::fprintf(out, "%s\n", qUtf8Printable(message.text));
    if (!message.detail.isEmpty())
        std::fprintf(out, "%s\n", qUtf8Printable(message.detail));
    std::fflush(out);
}
