#pragma once

#include <QString>
#include <system_error>

namespace platform {

// Why a call to the system failed, by the system's own number, or no failure
// at all. The program tells apart only the few kinds it acts on, by their
// standard names (std::errc); anything else is shown in the system's words.
class SystemError
{
public:
    SystemError() = default;
    // A failure the program finds itself, such as a name that is taken.
    explicit SystemError(std::errc kind);
    // The system's number of it, as its calls report it.
    static SystemError FromCode(int code);
    // The failure of the system call that has just failed on this thread.
    static SystemError Last();

    // Whether something failed.
    explicit operator bool() const { return m_code != 0; }
    bool Is(std::errc kind) const;
    // Nothing is at the name, or a part of the way to it is no folder.
    bool IsMissing() const;
    // The system's words for it.
    QString Text() const;

private:
    int m_code = 0;
};

} // namespace platform
