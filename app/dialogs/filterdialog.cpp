#include "app/dialogs/filterdialog.h"

#include "app/dialogs/datefield.h"
#include "db/record/users.h"

#include <QCheckBox>
#include <QComboBox>
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
            return QStringLiteral("\"%1\" is not a user number from %2 to %3.")
                .arg(part)
                .arg(users::kMinUserNo)
                .arg(users::kMaxUserNo);
        parsed.append(n);
    }
    *numbers = parsed;
    return {};
}

CFilterDialog::CFilterDialog(const EventFilter& current, QWidget* parent)
    : QDialog(parent), m_pUserNos(new QLineEdit(this)), m_pName(new QLineEdit(current.name, this)),
      m_pButton(new QComboBox(this)), m_pUseFrom(new QCheckBox(QStringLiteral("&From"), this)),
      m_pFrom(dateField(current.from, QDate::currentDate(), this)),
      m_pUseTo(new QCheckBox(QStringLiteral("&Before"), this)),
      m_pTo(dateField(current.to, QDate::currentDate().addDays(1), this)),
      m_pError(new QLabel(this)), m_filter(current)
{
    setWindowTitle(QStringLiteral("Filter"));
    QStringList numbers;
    for (const qint32 n : current.userNos)
        numbers << QString::number(n);
    m_pUserNos->setText(numbers.join(QStringLiteral(", ")));
    m_pUserNos->setObjectName(QStringLiteral("userNos"));
    m_pUserNos->setPlaceholderText(QStringLiteral("any; e.g. 3, 17"));
    m_pName->setObjectName(QStringLiteral("name"));
    m_pName->setPlaceholderText(QStringLiteral("any"));
    m_pButton->setObjectName(QStringLiteral("button"));
    m_pButton->addItem(QStringLiteral("Any"));
    m_pButton->addItem(QStringLiteral("0"), 0);
    m_pButton->addItem(QStringLiteral("1"), 1);
    m_pButton->setCurrentIndex(current.button ? m_pButton->findData(*current.button) : 0);
    m_pUseFrom->setObjectName(QStringLiteral("useFrom"));
    m_pUseFrom->setChecked(!current.from.isEmpty());
    m_pFrom->setObjectName(QStringLiteral("from"));
    m_pUseTo->setObjectName(QStringLiteral("useTo"));
    m_pUseTo->setChecked(!current.to.isEmpty());
    m_pTo->setObjectName(QStringLiteral("to"));
    connect(m_pUseFrom, &QCheckBox::toggled, m_pFrom, &QWidget::setEnabled);
    connect(m_pUseTo, &QCheckBox::toggled, m_pTo, &QWidget::setEnabled);
    m_pError->setObjectName(QStringLiteral("error"));
    m_pError->setWordWrap(true);

    auto* grid = new QGridLayout;
    auto label = [this](const char* text, QWidget* buddy) {
        auto* l = new QLabel(QLatin1String(text), this);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label("&User numbers", m_pUserNos), 0, 0);
    grid->addWidget(m_pUserNos, 0, 1);
    grid->addWidget(label("&Name contains", m_pName), 1, 0);
    grid->addWidget(m_pName, 1, 1);
    grid->addWidget(label("Bu&tton", m_pButton), 2, 0);
    grid->addWidget(m_pButton, 2, 1);
    // Ticks level with their dates, above the reason a date may show.
    m_pUseFrom->setMinimumHeight(m_pFrom->Edit()->sizeHint().height());
    grid->addWidget(m_pUseFrom, 3, 0, Qt::AlignTop);
    grid->addWidget(m_pFrom, 3, 1);
    m_pUseTo->setMinimumHeight(m_pTo->Edit()->sizeHint().height());
    grid->addWidget(m_pUseTo, 4, 0, Qt::AlignTop);
    grid->addWidget(m_pTo, 4, 1);
    auto* note = new QLabel(QStringLiteral("The list shows the events that pass every field "
                                           "given. The name is that of the user who held the "
                                           "number at the event's date, in any case."),
                            this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("IDOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("IDCANCEL"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CFilterDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(m_pError);
    layout->addWidget(buttons);
}

void CFilterDialog::accept()
{
    EventFilter filter;
    if (const QString wrong = ParseUserNumbers(m_pUserNos->text(), &filter.userNos);
        !wrong.isEmpty()) {
        m_pError->setText(wrong);
        m_pUserNos->setFocus();
        return;
    }
    filter.name = m_pName->text().trimmed().isEmpty() ? QString() : m_pName->text();
    if (m_pButton->currentData().isValid())
        filter.button = m_pButton->currentData().toInt();
    // A date that cannot be read tells why under its field.
    if (DateField::FocusFirstInvalid({m_pFrom, m_pTo})) {
        m_pError->clear();
        return;
    }
    if (m_pUseFrom->isChecked())
        filter.from = *m_pFrom->Moment();
    if (m_pUseTo->isChecked())
        filter.to = *m_pTo->Moment();
    if (!filter.from.isEmpty() && !filter.to.isEmpty() && filter.to <= filter.from) {
        m_pError->setText(QStringLiteral("\"Before\" must come after \"From\"."));
        m_pTo->setFocus();
        return;
    }
    m_filter = filter;
    QDialog::accept();
}
