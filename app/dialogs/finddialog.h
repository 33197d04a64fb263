#pragma once

#include "db/listseek.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QRadioButton;

// View > Find: a text in the user names, or a user number.
class FindDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FindDialog(QWidget* parent = nullptr);

    // Shows what was looked for last, the text selected for typing over.
    void SetFind(const ListFind& find);
    // What to look for; sound once the dialog was accepted.
    ListFind Find() const;

    // Only with a user number in range, or a part of a name.
    void accept() override;

private:
    // Why the fields do not say what to look for; empty when they do.
    QString Problem() const;

    QRadioButton* m_byName;
    QRadioButton* m_byNumber;
    QLineEdit* m_text;
    QLabel* m_problem;
};
