#pragma once

#include <QString>
#include <stdexcept>

// An error of the database layer, carrying the message shown to the user.
class CDBException : public std::runtime_error
{
public:
    explicit CDBException(const QString& message)
        : std::runtime_error(message.toStdString()), m_strError(message)
    {
    }

    QString m_strError;
};
