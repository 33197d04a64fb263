#include "app/dialogs/messagebox.h"

#include <QCoreApplication>
#include <QMessageBox>

void MessageBoxSink::Prepare(QMessageBox& box, const UserMessage& message)
{
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(message.Caption());
    // File names may hold anything: never read the text as markup.
    box.setTextFormat(Qt::PlainText);
    // The reason is part of the text, not hidden behind a details button.
    box.setText(message.detail.isEmpty() ? message.text
                                         : message.text + QLatin1Char('\n') + message.detail);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
}

void MessageBoxSink::ShowMessage(const UserMessage& message)
{
    QMessageBox box;
    Prepare(box, message);
    box.exec();
}
