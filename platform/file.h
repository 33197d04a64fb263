#pragma once

#include "platform/filestatus.h"
#include "platform/systemerror.h"

#include <QByteArray>
#include <QByteArrayView>

namespace platform {

// A file or device opened through the system, closed with this object. Opening
// never waits, not on a named pipe nor on a device, and never makes a
// terminal the program's own; the handle is not passed on to programs started
// meanwhile. A call that fails tells why in Error().
class File
{
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // For reading.
    bool OpenToRead(const QByteArray& name);
    // A device for reading and writing, such as a serial port.
    bool OpenDevice(const QByteArray& name);
    // A new file for writing, with the usual permissions. Refused when
    // anything is at name, a symbolic link too (Error() is then
    // std::errc::file_exists).
    bool CreateNew(const QByteArray& name);

    bool IsOpen() const { return m_handle >= 0; }
    // Closes the file; false when the system reports a failed write only now.
    bool Close();
    SystemError Error() const { return m_error; }

    // What is open.
    FileStatus Status() const;
    // Whether what is open is a terminal.
    bool IsTerminal() const;

    // Up to most bytes; 0 at the end of the file, -1 on a failure.
    qint64 Read(char* into, qint64 most);
    // All of bytes.
    bool WriteAll(QByteArrayView bytes);
    // Puts what was written on disk.
    bool Sync();
    // Sets the permission bits (see FileStatus::permissions).
    bool SetPermissions(quint32 permissions);

    // An exclusive lock on the file, tried without waiting. It is advisory:
    // it keeps out only others that take it too, not those that read or write,
    // and it is apart from the locks SQLite takes. It goes with the handle,
    // also when the program is killed.
    enum class Lock
    {
        Taken,
        Busy,   // another handle holds it
        Failed, // the file cannot be locked
    };
    Lock TryLock();
    void Unlock();

private:
    bool Opened(qintptr handle);

    qintptr m_handle = -1;
    SystemError m_error;
};

} // namespace platform
