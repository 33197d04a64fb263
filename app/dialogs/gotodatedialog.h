#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;

// View > Go to Date: a date, optionally with a time of day, in local time.
class GoToDateDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GoToDateDialog(QWidget* parent = nullptr);

    // Shows the moment gone to last, selected for typing over.
    void SetMoment(const QString& moment);
    // The moment as stored dates are written ("YYYY-MM-DD HH:MM:SS"); empty
    // while the text is no date. A day alone means its start.
    QString Moment() const;

    // Only with a date that can be read.
    void accept() override;

private:
    QLineEdit* m_date;
    QLabel* m_problem;
};
