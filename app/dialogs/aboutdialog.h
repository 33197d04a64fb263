#pragma once

#include <QDialog>

// Help > About: the program's icon, its version line and a notice, with OK.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
};
