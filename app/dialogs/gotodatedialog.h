#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;

// View > Go to Date: a date, optionally with a time of day, in local time.
class CGotoDateDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CGotoDateDialog(QWidget* parent = nullptr);

    // Shown when the dialog opens; when accepted, the moment as stored dates
    // are written ("YYYY-MM-DD HH:MM:SS").
    QString m_strMoment;

    int exec() override;
    void accept() override;

private:
    QLineEdit* m_pDate;
    QLabel* m_pProblem;
};
