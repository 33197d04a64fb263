#pragma once

#include <QString>

// A message for the user: an outcome (caption "OK"), a failure (caption
// "Error") or a warning that leaves the outcome as it is (caption "Warning").
// The desktop shows it in a message box, the command line prints it.
struct UserMessage
{
    QString text;
    QString caption;
    QString detail;         // optional second line: why, and what to do
    bool taskModal = false; // disables the other windows while shown

    bool IsWarning() const { return caption == QLatin1String("Warning"); }
    bool IsError() const { return caption != QLatin1String("OK") && !IsWarning(); }
};

class MessageSink
{
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const UserMessage& message) = 0;
};
