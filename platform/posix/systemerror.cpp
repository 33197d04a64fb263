#include "platform/systemerror.h"

#include <cerrno>

// Here the system's numbers are errno's, the numbers std::errc names.
namespace platform {

SystemError::SystemError(std::errc kind) : m_code(static_cast<int>(kind)) {}

SystemError SystemError::FromCode(int code)
{
    SystemError error;
    error.m_code = code;
    return error;
}

SystemError SystemError::Last()
{
    return FromCode(errno);
}

bool SystemError::Is(std::errc kind) const
{
    return m_code == static_cast<int>(kind);
}

bool SystemError::IsMissing() const
{
    return m_code == ENOENT || m_code == ENOTDIR;
}

QString SystemError::Text() const
{
    return qt_error_string(m_code);
}

} // namespace platform
