#pragma once

#include "db/messages.h"

#include <QList>

// Outcomes go to stdout, failures and warnings to stderr; a detail follows on
// its own line. The failures are also kept, for the log line of read.
class ConsoleMessages : public MessageSink
{
public:
    void ShowMessage(const UserMessage& message) override;
    // The failures shown so far.
    const QList<UserMessage>& Errors() const { return m_errors; }
    // Off: messages are only kept, nothing is printed.
    void SetEcho(bool echo) { m_echo = echo; }

private:
    bool m_echo = true;
    QList<UserMessage> m_errors;
};
