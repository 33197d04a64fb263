#include "app/dialogs/finddialog.h"

#include "db/record/users.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

FindDialog::FindDialog(QWidget* parent)
    : QDialog(parent), m_byName(new QRadioButton(tr("User &name contains"), this)),
      m_byNumber(new QRadioButton(tr("User n&umber is"), this)), m_text(new QLineEdit(this)),
      m_problem(new QLabel(this))
{
    setWindowTitle(tr("Find"));
    m_byName->setObjectName(QStringLiteral("byName"));
    m_byNumber->setObjectName(QStringLiteral("byNumber"));
    m_text->setObjectName(QStringLiteral("text"));
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->addButton(tr("&Find"), QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_byName);
    layout->addWidget(m_byNumber);
    layout->addWidget(m_text);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    SetFind({});
}

void FindDialog::SetFind(const ListFind& find)
{
    (find.byNumber ? m_byNumber : m_byName)->setChecked(true);
    m_text->setText(find.byNumber ? QString::number(find.userNo) : find.text);
    m_text->selectAll();
    m_text->setFocus();
}

ListFind FindDialog::Find() const
{
    ListFind find;
    find.byNumber = m_byNumber->isChecked();
    if (find.byNumber)
        find.userNo = m_text->text().trimmed().toInt();
    else
        find.text = m_text->text();
    return find;
}

QString FindDialog::Problem() const
{
    if (!m_byNumber->isChecked())
        return m_text->text().isEmpty() ? tr("Write a part of the name to find.") : QString();
    bool whole = false;
    const int userNo = m_text->text().trimmed().toInt(&whole);
    if (!whole || userNo < users::kMinUserNo || userNo > users::kMaxUserNo)
        return tr("A user number is a whole number from %1 to %2.")
            .arg(users::kMinUserNo)
            .arg(users::kMaxUserNo);
    return {};
}

void FindDialog::accept()
{
    const QString problem = Problem();
    if (!problem.isEmpty()) {
        m_problem->setText(problem);
        m_text->setFocus();
        adjustSize();
        return;
    }
    QDialog::accept();
}
