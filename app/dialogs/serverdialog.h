#pragma once

#include <QDialog>
#include <QString>

class Location;
class QLineEdit;

// File > Open Server Database: where the server database is.
class ServerDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ServerDialog(QWidget* parent = nullptr);

    // Shows the server, database and user of a server location; its port
    // when it names one, else the server's usual 5432.
    void SetLocation(const Location& server);
    // The server database entered; its password is asked for when the
    // server wants one.
    Location ServerLocation() const;

    // Only with a database named; the rest has the client library's defaults.
    void accept() override;

private:
    QLineEdit* m_host;
    QLineEdit* m_port;
    QLineEdit* m_database;
    QLineEdit* m_user;
};

// Asked when the server wants a password that was not given, or did not take
// the one given (refused: the prompt says so first). The password is kept for
// this run only.
class PasswordDialog : public QDialog
{
    Q_OBJECT
public:
    PasswordDialog(QWidget* parent, const QString& server, const QString& user,
                   bool refused = false);

    QString Password() const;

private:
    QLineEdit* m_password;
};
