#pragma once

#include "db/messages.h"

// Messages for the user as message boxes: no owner window, one OK button, no
// icon, the caption as the box's title and the detail as its detailed text.
class CMessageBoxSink : public MessageSink
{
public:
    void ShowMessage(const UserMessage& message) override;
};
