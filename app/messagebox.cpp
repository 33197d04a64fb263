#include "app/messagebox.h"

#include <QMessageBox>

void CMessageBoxSink::ShowMessage(const UserMessage& message)
{
    QMessageBox box;
    box.setIcon(QMessageBox::NoIcon);
    // A message without a caption of its own gets the system's default one.
    box.setWindowTitle(message.caption.isEmpty() ? QStringLiteral("Error") : message.caption);
    box.setText(message.text);
    if (!message.detail.isEmpty())
        box.setDetailedText(message.detail);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
