#pragma once

#include <QString>

// A message for the user: an outcome (caption "OK") or a failure (caption
// "Error"). The desktop shows it in a message box, the command line prints it.
struct UserMessage
{
    QString text;
    QString caption;
    QString detail;         // optional second line: why, and what to do
    bool taskModal = false; // disables the other windows while shown

    bool IsError() const { return caption != QLatin1String("OK"); }
};

class MessageSink
{
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const UserMessage& message) = 0;
};
