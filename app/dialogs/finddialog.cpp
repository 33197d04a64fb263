#include "app/dialogs/finddialog.h"

#include "db/record/users.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CFindDialog::CFindDialog(QWidget* parent)
    : QDialog(parent), m_pByName(new QRadioButton(QStringLiteral("User &name contains"), this)),
      m_pByNumber(new QRadioButton(QStringLiteral("User n&umber is"), this)),
      m_pText(new QLineEdit(this)), m_pProblem(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Find"));
    m_pByName->setObjectName(QStringLiteral("byName"));
    m_pByNumber->setObjectName(QStringLiteral("byNumber"));
    m_pText->setObjectName(QStringLiteral("text"));
    m_pProblem->setObjectName(QStringLiteral("problem"));
    m_pProblem->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->addButton(QStringLiteral("&Find"), QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pByName);
    layout->addWidget(m_pByNumber);
    layout->addWidget(m_pText);
    layout->addWidget(m_pProblem);
    layout->addWidget(buttons);
}

int CFindDialog::exec()
{
    (m_find.byNumber ? m_pByNumber : m_pByName)->setChecked(true);
    m_pText->setText(m_find.byNumber ? QString::number(m_find.userNo) : m_find.text);
    m_pText->selectAll();
    m_pText->setFocus();
    return QDialog::exec();
}

void CFindDialog::accept()
{
    const QString text = m_pText->text();
    ListFind find;
    find.byNumber = m_pByNumber->isChecked();
    if (find.byNumber) {
        bool ok = false;
        find.userNo = text.trimmed().toInt(&ok);
        if (!ok || find.userNo < users::kMinUserNo || find.userNo > users::kMaxUserNo) {
            m_pProblem->setText(QStringLiteral("A user number is a whole number from %1 to %2.")
                                    .arg(users::kMinUserNo)
                                    .arg(users::kMaxUserNo));
            m_pText->setFocus();
            adjustSize();
            return;
        }
    } else if (text.isEmpty()) {
        m_pProblem->setText(QStringLiteral("Write a part of the name to find."));
        m_pText->setFocus();
        adjustSize();
        return;
    } else {
        find.text = text;
    }
    m_find = find;
    QDialog::accept();
}
