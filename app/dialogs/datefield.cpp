#include "app/dialogs/datefield.h"

#include "app/dialogs/icons.h"
#include "db/record/datetext.h"

#include <QCalendarWidget>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

namespace {

const QString kDayFormat = QStringLiteral("yyyy-MM-dd");

// The time typed after the day, as typed; empty when there is none.
QString typedTime(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*[0-9-]*(?:T|\\s+)(.*\\S)\\s*$"));
    return form.match(text).captured(1);
}

} // namespace

int LineEditWidthFor(const QLineEdit& edit, const QString& sample)
{
    const QFontMetrics metrics(edit.font());
    const QMargins text = edit.textMargins();
    const QMargins contents = edit.contentsMargins();
    // The line edit's own margin beside the text, and room for the cursor.
    const int inner = metrics.horizontalAdvance(sample) + 2 * 2 + 2 + text.left() + text.right() +
                      contents.left() + contents.right();
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.lineWidth = edit.hasFrame()
                           ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit)
                           : 0;
    option.state |= QStyle::State_Sunken;
    return edit.style()
        ->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(inner, metrics.height()), &edit)
        .width();
}

void FitHeight(QWidget& changed)
{
    QWidget& window = *changed.window();
    QLayout* layout = window.layout();
    if (!window.isVisible() || !layout)
        return;
    // The layouts on the way up learn now (not once the events are handled)
    // that a word-wrapped text came or went.
    for (QWidget* w = &changed; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        if (w->layout())
            w->layout()->invalidate();
        w->updateGeometry();
    }
    layout->activate();
    const int width = std::max(window.width(), layout->totalMinimumSize().width());
    const int needed = std::max(layout->totalMinimumSize().height(),
                                layout->hasHeightForWidth() ? layout->totalHeightForWidth(width)
                                                            : layout->totalSizeHint().height());
    // Shrunk back only from a height fitted here, also by Qt as the layout's
    // minimum grew: a window the user made taller keeps its height.
    const char* const kFitted = "zqFittedHeight";
    const int fitted = std::max(needed, window.minimumHeight());
    const bool ours = window.property(kFitted).toInt() == window.height();
    const int height = ours ? fitted : std::max(fitted, window.height());
    if (height == fitted)
        window.setProperty(kFitted, height);
    if (QSize(width, height) != window.size())
        window.resize(width, height);
}

DateField::DateField(Kind kind, QWidget* parent)
    : QWidget(parent), m_kind(kind), m_edit(new QLineEdit(this)),
      m_calendarButton(new QToolButton(this)), m_problemLabel(new QLabel(this)),
      m_showLater(new QTimer(this))
{
    const bool dateOnly = m_kind == Kind::DateOnly;
    m_edit->setObjectName(QStringLiteral("dateText"));
    m_edit->setPlaceholderText(dateOnly ? tr("YYYY-MM-DD") : tr("YYYY-MM-DD HH:MM"));
    m_edit->setMinimumWidth(LineEditWidthFor(
        *m_edit, dateOnly ? QStringLiteral("0000-00-00") : QStringLiteral("0000-00-00 00:00:00")));
    m_calendarButton->setObjectName(QStringLiteral("calendar"));
    m_calendarButton->setIcon(LoadSvgIcon(QStringLiteral("calendar")));
    m_calendarButton->setText(tr("Calendar"));
    m_calendarButton->setToolTip(tr("Pick the day from a calendar"));
    m_calendarButton->setFocusPolicy(Qt::NoFocus);
    m_problemLabel->setObjectName(QStringLiteral("dateProblem"));
    m_problemLabel->setStyleSheet(QStringLiteral("color: #b00020"));
    m_problemLabel->setWordWrap(true);
    // As wide as the field, whatever its length: the field keeps its width.
    m_problemLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_problemLabel->setTextFormat(Qt::PlainText);
    m_problemLabel->hide();
    setFocusProxy(m_edit);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(2);
    layout->addWidget(m_edit, 0, 0);
    layout->addWidget(m_calendarButton, 0, 1);
    layout->addWidget(m_problemLabel, 1, 0, 1, 2);
    layout->setColumnStretch(0, 1);

    // A reason comes once typing pauses or the field is left, not at every
    // key of a date half typed; it goes, or changes, at once.
    m_showLater->setSingleShot(true);
    m_showLater->setInterval(700);
    connect(m_showLater, &QTimer::timeout, this, &DateField::ShowProblem);
    connect(m_edit, &QLineEdit::editingFinished, this, &DateField::ShowProblem);
    connect(m_edit, &QLineEdit::textChanged, this, &DateField::Check);
    connect(m_calendarButton, &QToolButton::clicked, this, &DateField::OpenCalendar);
    Check();
}

void DateField::SetMoment(const QString& stored)
{
    const bool wellFormed = datetext::Parse(stored).stored == stored && !stored.isEmpty();
    m_edit->setText(wellFormed && m_kind == Kind::DateOnly ? stored.left(10) : stored);
    ShowProblem();
}

std::optional<QString> DateField::Moment() const
{
    if (!IsValid())
        return std::nullopt;
    return m_stored;
}

bool DateField::FocusFirstInvalid(std::initializer_list<DateField*> fields)
{
    for (DateField* field : fields) {
        if (field->isEnabled() && !field->IsValid()) {
            field->ShowProblem();
            field->m_edit->setFocus();
            field->m_edit->selectAll();
            return true;
        }
    }
    return false;
}

void DateField::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The reason only for a field in use.
    if (event->type() == QEvent::EnabledChange)
        ShowProblem();
}

void DateField::Check()
{
    const datetext::Parsed parsed = datetext::Parse(m_edit->text());
    QString problem = parsed.reason;
    if (m_kind == Kind::DateOnly) {
        if (parsed.problem == datetext::Problem::NotADate)
            problem = tr("Not a date: write YYYY-MM-DD.");
        else if (parsed && parsed.timeGiven)
            problem = tr("Write the day alone, YYYY-MM-DD, without a time.");
    }
    const bool wasValid = IsValid();
    m_problem = problem;
    m_stored = problem.isEmpty() ? parsed.stored : QString();
    if (m_problem.isEmpty() || m_problemLabel->isVisibleTo(this))
        ShowProblem();
    else
        m_showLater->start();
    if (wasValid != IsValid())
        Q_EMIT ValidityChanged(IsValid());
}

void DateField::ShowProblem()
{
    m_showLater->stop();
    const bool shown = isEnabled() && !m_problem.isEmpty();
    if (m_problemLabel->text() == m_problem && m_problemLabel->isVisibleTo(this) == shown)
        return;
    m_problemLabel->setText(m_problem);
    m_problemLabel->setVisible(shown);
    KeepProblemWhole();
    // The window fits the reason, and back when it goes.
    FitHeight(*this);
}

void DateField::KeepProblemWhole()
{
    // Layouts holding this field in a row beside other widgets may give it
    // less than the height its wrapped reason asks for at its width; a
    // minimum they keep to.
    const int height = m_problemLabel->isVisibleTo(this)
                           ? m_problemLabel->heightForWidth(std::max(width(), 1))
                           : 0;
    if (m_problemLabel->minimumHeight() != height)
        m_problemLabel->setMinimumHeight(height);
}

void DateField::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    KeepProblemWhole();
}

void DateField::OpenCalendar()
{
    if (!m_calendar) {
        m_calendar = new QCalendarWidget(this);
        m_calendar->setObjectName(QStringLiteral("calendarPopup"));
        m_calendar->setWindowFlags(Qt::Popup);
        m_calendar->setMinimumDate(QDate(datetext::kMinYear, 1, 1));
        m_calendar->setMaximumDate(QDate(datetext::kMaxYear, 12, 31));
        m_calendar->setGridVisible(true);
        connect(m_calendar, &QCalendarWidget::clicked, this, &DateField::PickDay);
        connect(m_calendar, &QCalendarWidget::activated, this, &DateField::PickDay);
    }
    const QDate shown = QDate::fromString(m_stored.left(10), kDayFormat);
    m_calendar->setSelectedDate(shown.isValid() ? shown : QDate::currentDate());
    m_calendar->adjustSize();
    // Under the field, kept on the screen.
    QPoint at = m_edit->mapToGlobal(QPoint(0, m_edit->height()));
    if (const QScreen* screen = this->screen()) {
        const QRect room = screen->availableGeometry();
        const QSize size = m_calendar->size();
        if (at.y() + size.height() > room.bottom())
            at.setY(m_edit->mapToGlobal(QPoint(0, 0)).y() - size.height());
        at.setX(
            std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - size.width())));
    }
    m_calendar->move(at);
    m_calendar->show();
    m_calendar->setFocus();
}

void DateField::PickDay(const QDate& day)
{
    if (m_calendar)
        m_calendar->hide();
    const QString time = m_kind == Kind::DateOnly ? QString() : typedTime(m_edit->text());
    m_edit->setText(day.toString(kDayFormat) +
                    (time.isEmpty() ? QString() : QLatin1Char(' ') + time));
    m_edit->setFocus();
}
