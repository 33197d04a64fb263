#pragma once

#include "db/messages.h"

class QMessageBox;

// Messages for the user as message boxes: no owner window, one OK button, no
// icon, the caption as the box's title; the detail is a line of the text.
class MessageBoxSink : public MessageSink
{
public:
    void ShowMessage(const UserMessage& message) override;

    // Sets up box to show message, as ShowMessage does before running it.
    static void Prepare(QMessageBox& box, const UserMessage& message);
};
