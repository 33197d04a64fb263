#pragma once

#include "db/messages.h"

#include <QList>

// Outcomes go to stdout, failures and warnings to stderr; a detail follows on
// its own line.
// Every message is also kept, for the exit status and the log line of read.
class ConsoleMessages : public MessageSink
{
public:
    void ShowMessage(const UserMessage& message) override;
    bool SawError() const { return m_sawError; }
    const QList<UserMessage>& Messages() const { return m_messages; }
    // Off: messages are only kept, nothing is printed.
    void SetEcho(bool echo) { m_echo = echo; }

private:
    bool m_sawError = false;
    bool m_echo = true;
    QList<UserMessage> m_messages;
};
