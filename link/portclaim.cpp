#include "link/portclaim.h"

#include "platform/filestatus.h"
#include "platform/serialline.h"

using platform::FileType;

namespace {

QString kindOf(FileType type)
{
    switch (type) {
    case FileType::Folder:
        return PortClaim::tr("a folder");
    case FileType::Regular:
        return PortClaim::tr("a file");
    case FileType::NamedPipe:
        return PortClaim::tr("a named pipe");
    case FileType::Socket:
        return PortClaim::tr("a socket");
    case FileType::BlockDevice:
        return PortClaim::tr("a block device");
    default:
        return PortClaim::tr("no device");
    }
}

} // namespace

PortClaim::~PortClaim()
{
    Release();
}

void PortClaim::Release()
{
    m_device.Close();
}

PortClaim::Result PortClaim::Take(const QByteArray& devicePath)
{
    Release();
    m_why.clear();
    const platform::FileStatus status = platform::StatusOf(devicePath);
    if (!status.Exists()) {
        m_why = status.error.Text();
        return Result::OpenFailed;
    }
    // Opening anything else could block (a named pipe) or act on it.
    if (status.type != FileType::CharacterDevice) {
        m_why = kindOf(status.type);
        return Result::NotSerial;
    }
    if (platform::IsTerminalOfTheMachine(status)) {
        m_why = tr("a terminal or console of this machine");
        return Result::NotSerial;
    }
    if (!m_device.OpenDevice(devicePath)) {
        const platform::SystemError error = m_device.Error();
        m_why = error.Text();
        // Another program's terminal exclusive mode.
        if (error.Is(std::errc::device_or_resource_busy))
            return Result::Held;
        // An unplugged adapter's node left behind, say.
        return error.Is(std::errc::no_such_device_or_address) || error.Is(std::errc::no_such_device)
                   ? Result::Gone
                   : Result::OpenFailed;
    }
    if (!m_device.IsTerminal()) {
        Release();
        m_why = tr("a device that is no terminal");
        return Result::NotSerial;
    }
    // A device that cannot be locked at all is used unlocked, as before.
    if (m_device.TryLock() == platform::File::Lock::Busy) {
        Release();
        return Result::Held;
    }
    return Result::Claimed;
}
