#pragma once

#include <QDialog>

// About Zq6: the program's icon, its version line and a notice, with OK.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    enum
    {
        IDD = 100
    };

    explicit CAboutDlg(QWidget* pParent = nullptr);
    ~CAboutDlg() override;
};
