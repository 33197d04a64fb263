#pragma once

#include <QString>
#include <stdexcept>

// What kind of failure the database layer met, told from the backend's own
// codes (SQLite's result codes, PostgreSQL's SQLSTATE and the state of the
// connection), never from the words of its message, which a server may give
// in any language.
enum class DbFailure
{
    Other,
    Locked,          // another connection held a lock past the wait
    Damaged,         // the file is not a sound database
    DiskFull,        // no room left
    FileTooLarge,    // beyond the file size limit
    ReadOnly,        // the database or the file may not be written
    Denied,          // no permission for the statement (a role, a file mode)
    ConnectionLost,  // the server went away during the work
    Unreachable,     // no connection could be made to the server
    PasswordNeeded,  // the server wants a password that was not given
    PasswordRefused, // the server refused the password given
    NoDatabase,      // the server has no such database
    Cancelled,       // the statement was cancelled on purpose
};

// An error of the database layer, carrying the message shown to the user.
class CDBException : public std::runtime_error
{
public:
    explicit CDBException(const QString& message, DbFailure kind = DbFailure::Other)
        : std::runtime_error(message.toStdString()), m_strError(message), m_kind(kind)
    {
    }

    DbFailure Kind() const { return m_kind; }

    QString m_strError;

private:
    DbFailure m_kind;
};
