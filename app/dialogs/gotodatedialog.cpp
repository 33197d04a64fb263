#include "app/dialogs/gotodatedialog.h"

#include "app/dialogs/datefield.h"
#include "db/record/users.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CGotoDateDialog::CGotoDateDialog(QWidget* parent)
    : QDialog(parent), m_pDate(new QLineEdit(this)), m_pProblem(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Go to Date"));
    m_pDate->setObjectName(QStringLiteral("date"));
    m_pDate->setPlaceholderText(QStringLiteral("YYYY-MM-DD HH:MM"));
    m_pDate->setMinimumWidth(LineEditWidthFor(*m_pDate, QStringLiteral("0000-00-00 00:00:00")));
    m_pProblem->setObjectName(QStringLiteral("problem"));
    m_pProblem->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Date and time:"), m_pDate);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pProblem);
    layout->addWidget(buttons);
}

int CGotoDateDialog::exec()
{
    m_pDate->setText(m_strMoment);
    m_pDate->selectAll();
    return QDialog::exec();
}

void CGotoDateDialog::accept()
{
    // A day alone means its start.
    const std::optional<QString> moment = users::ParseDateTime(m_pDate->text());
    if (!moment) {
        m_pProblem->setText(QStringLiteral("\"%1\" is no date. Write YYYY-MM-DD, optionally "
                                           "followed by a time HH:MM or HH:MM:SS.")
                                .arg(m_pDate->text()));
        m_pDate->setFocus();
        adjustSize();
        return;
    }
    m_strMoment = *moment;
    QDialog::accept();
}
