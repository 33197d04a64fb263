#pragma once

#include "db/messages.h"

// Outcomes go to stdout, failures to stderr; a detail follows on its own line.
class ConsoleMessages : public MessageSink
{
public:
    void ShowMessage(const UserMessage& message) override;
    bool SawError() const { return m_sawError; }

private:
    bool m_sawError = false;
};
