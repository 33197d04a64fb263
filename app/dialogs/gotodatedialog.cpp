#include "app/dialogs/gotodatedialog.h"

#include "app/dialogs/datefield.h"
#include "db/record/users.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

GoToDateDialog::GoToDateDialog(QWidget* parent)
    : QDialog(parent), m_date(new QLineEdit(this)), m_problem(new QLabel(this))
{
    setWindowTitle(tr("Go to Date"));
    m_date->setObjectName(QStringLiteral("date"));
    m_date->setPlaceholderText(tr("YYYY-MM-DD HH:MM"));
    m_date->setMinimumWidth(LineEditWidthFor(*m_date, QStringLiteral("0000-00-00 00:00:00")));
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(tr("&Date and time:"), m_date);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

void GoToDateDialog::SetMoment(const QString& moment)
{
    m_date->setText(moment);
    m_date->selectAll();
}

QString GoToDateDialog::Moment() const
{
    return users::ParseDateTime(m_date->text()).value_or(QString());
}

void GoToDateDialog::accept()
{
    if (Moment().isEmpty()) {
        m_problem->setText(tr("\"%1\" is no date. Write YYYY-MM-DD, optionally followed by a "
                              "time HH:MM or HH:MM:SS.")
                               .arg(m_date->text()));
        m_date->setFocus();
        adjustSize();
        return;
    }
    QDialog::accept();
}
