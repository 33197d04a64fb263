#include "app/dialogs/serverdialog.h"

#include "app/dialogs/dialogtitle.h"
#include "db/location/location.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr int kDefaultServerPort = 5432;

QDialogButtonBox* okCancel(QDialog* dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QLineEdit* namedEdit(const char* name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

} // namespace

ServerDialog::ServerDialog(QWidget* parent)
    : QDialog(parent), m_host(namedEdit("host", this)), m_port(namedEdit("port", this)),
      m_database(namedEdit("database", this)), m_user(namedEdit("user", this))
{
    setWindowTitle(tr("Open Server Database"));
    m_port->setValidator(new QIntValidator(1, 65535, m_port));
    m_port->setText(QString::number(kDefaultServerPort));
    auto* form = new QFormLayout;
    form->addRow(tr("&Host:"), m_host);
    form->addRow(tr("&Port:"), m_port);
    form->addRow(tr("&Database:"), m_database);
    form->addRow(tr("&User:"), m_user);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(okCancel(this));
    FitTitle(*this);
}

void ServerDialog::SetLocation(const Location& server)
{
    m_host->setText(server.Host());
    m_port->setText(QString::number(server.Port() > 0 ? server.Port() : kDefaultServerPort));
    m_database->setText(server.Database());
    m_user->setText(server.User());
}

Location ServerDialog::ServerLocation() const
{
    return Location::ForServer(m_host->text().trimmed(), m_port->text().toInt(),
                               m_database->text().trimmed(), m_user->text().trimmed());
}

void ServerDialog::accept()
{
    if (m_database->text().trimmed().isEmpty()) {
        m_database->setFocus();
        return;
    }
    QDialog::accept();
}

PasswordDialog::PasswordDialog(QWidget* parent, const QString& server, const QString& user,
                               bool refused)
    : QDialog(parent), m_password(namedEdit("password", this))
{
    setWindowTitle(tr("Password"));
    m_password->setEchoMode(QLineEdit::Password);
    const QString asks =
        user.isEmpty() ? tr("The server of %1 asks for a password.").arg(server)
                       : tr("The server of %1 asks for the password of %2.").arg(server, user);
    auto* prompt = new QLabel(refused ? tr("The password was not accepted.\n") + asks : asks, this);
    prompt->setObjectName(QStringLiteral("prompt"));
    prompt->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(m_password);
    layout->addWidget(okCancel(this));
    FitTitle(*this);
}

QString PasswordDialog::Password() const
{
    return m_password->text();
}
