#include "cli/consolemessages.h"

#include <cstdio>

void ConsoleMessages::ShowMessage(const UserMessage& message)
{
    m_sawError = m_sawError || message.IsError();
    m_messages.append(message);
    if (!m_echo)
        return;
    FILE* out = message.IsError() || message.IsWarning() ? stderr : stdout;
    std::fprintf(out, "%s\n", qUtf8Printable(message.text));
    if (!message.detail.isEmpty())
        std::fprintf(out, "%s\n", qUtf8Printable(message.detail));
    std::fflush(out);
}
