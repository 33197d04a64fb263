#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// File > Open Server Database: where the server database is.
class CServerDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CServerDialog(QWidget* parent = nullptr);

    // Shown when the dialog opens, read back when it is accepted.
    QString m_strHost;
    int m_nPort = 5432;
    QString m_strDatabase;
    QString m_strUser;

    int exec() override;
    void accept() override;

private:
    QLineEdit* m_pHost;
    QLineEdit* m_pPort;
    QLineEdit* m_pDatabase;
    QLineEdit* m_pUser;
};

// Asked when the server wants a password that was not given, or did not take
// the one given (refused: the prompt says so first). The password is kept for
// this run only.
class CPasswordDialog : public QDialog
{
    Q_OBJECT
public:
    CPasswordDialog(QWidget* parent, const QString& server, const QString& user,
                    bool refused = false);

    QString m_strPassword;

    void accept() override;

private:
    QLineEdit* m_pPassword;
};
