#include "app/dialogs/serverdialog.h"

#include "app/dialogs/dialogtitle.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

QDialogButtonBox* okCancel(QDialog* dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

CServerDialog::CServerDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Open Server Database"));
    m_pHost = new QLineEdit(this);
    m_pHost->setObjectName(QStringLiteral("host"));
    m_pPort = new QLineEdit(this);
    m_pPort->setObjectName(QStringLiteral("port"));
    m_pPort->setValidator(new QIntValidator(1, 65535, m_pPort));
    m_pDatabase = new QLineEdit(this);
    m_pDatabase->setObjectName(QStringLiteral("database"));
    m_pUser = new QLineEdit(this);
    m_pUser->setObjectName(QStringLiteral("user"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Host:"), m_pHost);
    form->addRow(QStringLiteral("&Port:"), m_pPort);
    form->addRow(QStringLiteral("&Database:"), m_pDatabase);
    form->addRow(QStringLiteral("&User:"), m_pUser);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(okCancel(this));
    FitTitle(*this);
}

int CServerDialog::exec()
{
    m_pHost->setText(m_strHost);
    m_pPort->setText(m_nPort > 0 ? QString::number(m_nPort) : QString());
    m_pDatabase->setText(m_strDatabase);
    m_pUser->setText(m_strUser);
    return QDialog::exec();
}

void CServerDialog::accept()
{
    // A database must be named; the rest has the client library's defaults.
    if (m_pDatabase->text().trimmed().isEmpty()) {
        m_pDatabase->setFocus();
        return;
    }
    m_strHost = m_pHost->text().trimmed();
    m_nPort = m_pPort->text().toInt();
    m_strDatabase = m_pDatabase->text().trimmed();
    m_strUser = m_pUser->text().trimmed();
    QDialog::accept();
}

CPasswordDialog::CPasswordDialog(QWidget* parent, const QString& server, const QString& user,
                                 bool refused)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Password"));
    m_pPassword = new QLineEdit(this);
    m_pPassword->setObjectName(QStringLiteral("password"));
    m_pPassword->setEchoMode(QLineEdit::Password);
    const QString asks =
        user.isEmpty()
            ? QStringLiteral("The server of %1 asks for a password.").arg(server)
            : QStringLiteral("The server of %1 asks for the password of %2.").arg(server, user);
    auto* prompt = new QLabel(
        refused ? QStringLiteral("The password was not accepted.\n") + asks : asks, this);
    prompt->setObjectName(QStringLiteral("prompt"));
    prompt->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(m_pPassword);
    layout->addWidget(okCancel(this));
    FitTitle(*this);
}

void CPasswordDialog::accept()
{
    m_strPassword = m_pPassword->text();
    QDialog::accept();
}
