#include "app/dialogs/filterdialog.h"

#include "app/dialogs/datefield.h"
#include "db/record/users.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {

// The stored moment when given, else the start of day; in use only when given.
DateField* dateField(const QString& stored, QDate day, QWidget* parent)
{
    auto* field = new DateField(DateField::Kind::DateAndTime, parent);
    field->SetMoment(stored.isEmpty() ? day.toString(QStringLiteral("yyyy-MM-dd 00:00:00"))
                                      : stored);
    field->setEnabled(!stored.isEmpty());
    return field;
}

} // namespace

QString ParseUserNumbers(const QString& text, QVector<qint32>* numbers)
{
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    QVector<qint32> parsed;
    for (const QString& part : text.split(separators, Qt::SkipEmptyParts)) {
        bool whole = false;
        const int n = part.toInt(&whole);
        if (!whole || n < users::kMinUserNo || n > users::kMaxUserNo)
            return QCoreApplication::translate("FilterDialog",
                                               "\"%1\" is not a user number from %2 to %3.")
                .arg(part)
                .arg(users::kMinUserNo)
                .arg(users::kMaxUserNo);
        parsed.append(n);
    }
    *numbers = parsed;
    return {};
}

FilterDialog::FilterDialog(const EventFilter& current, QWidget* parent)
    : QDialog(parent), m_userNos(new QLineEdit(this)), m_name(new QLineEdit(current.name, this)),
      m_button(new QComboBox(this)), m_useFrom(new QCheckBox(tr("&From"), this)),
      m_from(dateField(current.from, QDate::currentDate(), this)),
      m_useTo(new QCheckBox(tr("&Before"), this)),
      m_to(dateField(current.to, QDate::currentDate().addDays(1), this)), m_error(new QLabel(this))
{
    setWindowTitle(tr("Filter"));
    QStringList numbers;
    for (const qint32 n : current.userNos)
        numbers << QString::number(n);
    m_userNos->setText(numbers.join(QStringLiteral(", ")));
    m_userNos->setObjectName(QStringLiteral("userNos"));
    m_userNos->setPlaceholderText(tr("any; e.g. 3, 17"));
    m_name->setObjectName(QStringLiteral("name"));
    m_name->setPlaceholderText(tr("any"));
    m_button->setObjectName(QStringLiteral("button"));
    m_button->addItem(tr("Any"));
    m_button->addItem(QStringLiteral("0"), 0);
    m_button->addItem(QStringLiteral("1"), 1);
    m_button->setCurrentIndex(current.button ? m_button->findData(*current.button) : 0);
    m_useFrom->setObjectName(QStringLiteral("useFrom"));
    m_useFrom->setChecked(!current.from.isEmpty());
    m_from->setObjectName(QStringLiteral("from"));
    m_useTo->setObjectName(QStringLiteral("useTo"));
    m_useTo->setChecked(!current.to.isEmpty());
    m_to->setObjectName(QStringLiteral("to"));
    connect(m_useFrom, &QCheckBox::toggled, m_from, &QWidget::setEnabled);
    connect(m_useTo, &QCheckBox::toggled, m_to, &QWidget::setEnabled);
    m_error->setObjectName(QStringLiteral("error"));
    m_error->setWordWrap(true);

    auto* grid = new QGridLayout;
    auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label(tr("&User numbers"), m_userNos), 0, 0);
    grid->addWidget(m_userNos, 0, 1);
    grid->addWidget(label(tr("&Name contains"), m_name), 1, 0);
    grid->addWidget(m_name, 1, 1);
    grid->addWidget(label(tr("Bu&tton"), m_button), 2, 0);
    grid->addWidget(m_button, 2, 1);
    // Ticks level with their dates, above the reason a date may show.
    m_useFrom->setMinimumHeight(m_from->Edit()->sizeHint().height());
    grid->addWidget(m_useFrom, 3, 0, Qt::AlignTop);
    grid->addWidget(m_from, 3, 1);
    m_useTo->setMinimumHeight(m_to->Edit()->sizeHint().height());
    grid->addWidget(m_useTo, 4, 0, Qt::AlignTop);
    grid->addWidget(m_to, 4, 1);
    auto* note = new QLabel(tr("The list shows the events that pass every field given. The name "
                               "is that of the user who held the number at the event's date, in "
                               "any case."),
                            this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &FilterDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(m_error);
    layout->addWidget(buttons);
}

EventFilter FilterDialog::Filter() const
{
    EventFilter filter;
    ParseUserNumbers(m_userNos->text(), &filter.userNos);
    filter.name = m_name->text().trimmed().isEmpty() ? QString() : m_name->text();
    if (m_button->currentData().isValid())
        filter.button = m_button->currentData().toInt();
    if (m_useFrom->isChecked())
        filter.from = m_from->Moment().value_or(QString());
    if (m_useTo->isChecked())
        filter.to = m_to->Moment().value_or(QString());
    return filter;
}

void FilterDialog::accept()
{
    QVector<qint32> numbers;
    if (const QString wrong = ParseUserNumbers(m_userNos->text(), &numbers); !wrong.isEmpty()) {
        m_error->setText(wrong);
        m_userNos->setFocus();
        return;
    }
    // A date that cannot be read tells why under its field.
    if (DateField::FocusFirstInvalid({m_from, m_to})) {
        m_error->clear();
        return;
    }
    const EventFilter filter = Filter();
    if (!filter.from.isEmpty() && !filter.to.isEmpty() && filter.to <= filter.from) {
        m_error->setText(tr("\"Before\" must come after \"From\"."));
        m_to->setFocus();
        return;
    }
    QDialog::accept();
}
