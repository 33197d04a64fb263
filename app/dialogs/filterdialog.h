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
class CFilterDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CFilterDialog(const EventFilter& current, QWidget* parent = nullptr);

    // The filter as entered; valid once the dialog was accepted.
    EventFilter Filter() const { return m_filter; }

    // Takes the fields only when they are sound, else says what is wrong
    // beside the buttons and stays open.
    void accept() override;

    QLineEdit* m_pUserNos;
    QLineEdit* m_pName;
    QComboBox* m_pButton;
    QCheckBox* m_pUseFrom;
    DateField* m_pFrom;
    QCheckBox* m_pUseTo;
    DateField* m_pTo;
    QLabel* m_pError;

private:
    EventFilter m_filter;
};

// The user numbers of text: numbers separated by commas or spaces, each
// within the range of user numbers. Returns what is wrong, or an empty text.
QString ParseUserNumbers(const QString& text, QVector<qint32>* numbers);
