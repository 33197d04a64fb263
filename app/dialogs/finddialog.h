#pragma once

#include "db/listseek.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QRadioButton;

// View > Find: a text in the user names, or a user number.
class CFindDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CFindDialog(QWidget* parent = nullptr);

    // Shown when the dialog opens, read back when it is accepted.
    ListFind m_find;

    int exec() override;
    void accept() override;

private:
    QRadioButton* m_pByName;
    QRadioButton* m_pByNumber;
    QLineEdit* m_pText;
    QLabel* m_pProblem;
};
