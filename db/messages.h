#pragma once

#include <QCoreApplication>
#include <QString>

// A message for the user: an outcome, a failure, or a warning that leaves the
// outcome as it is. The desktop shows it in a message box captioned "OK",
// "Error" or "Warning", the command line prints it.
struct UserMessage
{
    enum class Kind
    {
        Outcome,
        Warning,
        Error,
    };

    QString text;
    Kind kind = Kind::Outcome;
    QString detail;         // optional second line: why, and what to do
    bool taskModal = false; // disables the other windows while shown

    bool IsWarning() const { return kind == Kind::Warning; }
    bool IsError() const { return kind == Kind::Error; }
    // The message box's caption for the kind.
    QString Caption() const
    {
        switch (kind) {
        case Kind::Outcome:
            return QCoreApplication::translate("UserMessage", "OK");
        case Kind::Warning:
            return QCoreApplication::translate("UserMessage", "Warning");
        case Kind::Error:
            break;
        }
        return QCoreApplication::translate("UserMessage", "Error");
    }
};

class MessageSink
{
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const UserMessage& message) = 0;
};
