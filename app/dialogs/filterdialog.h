#pragma once

#include "db/eventfilter.h"

#include <QDialog>

class DateField;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// View > Filter: which rows the list shows. Any combination of user
// numbers, a text the name contains, the button and a date range; every
// field left empty lets all rows through.
class FilterDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FilterDialog(const EventFilter& current, QWidget* parent = nullptr);

    // The filter as entered; sound once the dialog was accepted.
    EventFilter Filter() const;

    // Takes the fields only when they are sound, else says what is wrong
    // beside the buttons and stays open.
    void accept() override;

private:
    QLineEdit* m_userNos;
    QLineEdit* m_name;
    QComboBox* m_button;
    QCheckBox* m_useFrom;
    DateField* m_from;
    QCheckBox* m_useTo;
    DateField* m_to;
    QLabel* m_error;
};

// The user numbers of text: numbers separated by commas or spaces, each
// within the range of user numbers. Returns what is wrong, or an empty text.
QString ParseUserNumbers(const QString& text, QVector<qint32>* numbers);
