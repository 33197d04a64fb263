#pragma once

#include <QString>
#include <QWidget>
#include <initializer_list>
#include <optional>

class QCalendarWidget;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

// The width edit needs to show sample whole.
int LineEditWidthFor(const QLineEdit& edit, const QString& sample);

// Makes the shown window of changed as tall as its content needs once a
// word-wrapped text in it came, changed or went (a reason under a field): it
// grows as needed, and shrinks back only from a height set here, never from
// one the user chose.
void FitHeight(QWidget& changed);

// A date, or a date and time, typed as text: what is typed is what is read
// (datetext::Parse, as on the command line). The text is checked on every
// edit; what is wrong with it shows under the field once typing pauses, the
// field is left or OK is clicked. The button beside it
// picks a day from a calendar.
class DateField : public QWidget
{
    Q_OBJECT

public:
    enum class Kind
    {
        DateAndTime,
        // Whole days (the report's range). A typed time is refused rather
        // than dropped: a range other than the one typed would be counted
        // without a word.
        DateOnly,
    };

    explicit DateField(Kind kind, QWidget* parent = nullptr);

    // Shows a stored text "YYYY-MM-DD HH:MM:SS" (of a date-only field, its
    // day); anything else is shown as it is and checked like typed text.
    void SetMoment(const QString& stored);
    // The moment typed, as stored; nothing while the text cannot be read.
    std::optional<QString> Moment() const;
    bool IsValid() const { return m_problem.isEmpty(); }
    // Why the text cannot be read; empty when it can.
    QString Problem() const { return m_problem; }

    QLineEdit* Edit() const { return m_edit; }
    QLabel* ProblemLabel() const { return m_problemLabel; }
    QToolButton* CalendarButton() const { return m_calendarButton; }
    // The calendar the button opens, once it was opened.
    QCalendarWidget* Calendar() const { return m_calendar; }

    // The first of fields that is enabled and cannot be read gets the focus;
    // whether there was one. OK buttons store nothing while there is.
    static bool FocusFirstInvalid(std::initializer_list<DateField*> fields);

Q_SIGNALS:
    void ValidityChanged(bool valid);

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Check();
    void ShowProblem();
    void KeepProblemWhole();
    void OpenCalendar();
    void PickDay(const QDate& day);

    Kind m_kind;
    QLineEdit* m_edit;
    QToolButton* m_calendarButton;
    QLabel* m_problemLabel;
    QTimer* m_showLater;
    QCalendarWidget* m_calendar = nullptr;
    QString m_stored;
    QString m_problem;
};
