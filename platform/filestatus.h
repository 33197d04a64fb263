#pragma once

#include "platform/systemerror.h"

#include <QByteArray>
#include <QString>

// What a name stands for: the kind of file, which file it is, where its links
// lead. Names are the system's bytes of a path (see db/location/nativename.h).
namespace platform {

enum class FileType
{
    Regular,
    Folder,
    NamedPipe,
    Socket,
    CharacterDevice,
    BlockDevice,
    SymbolicLink, // only from LinkStatusOf()
    Other,
};

struct FileStatus
{
    // Set when nothing could be told; the rest is then empty.
    SystemError error;
    FileType type = FileType::Other;
    // The permission bits (read, write and run for owner, group and others,
    // and the special bits) as the system keeps them.
    quint32 permissions = 0;
    // Which file it is: every name of one file (its links, its hard links)
    // has the same.
    quint64 volume = 0;
    quint64 file = 0;
    // For a device, which device it is.
    quint64 device = 0;

    bool Exists() const { return !error; }
    // Whether both are the same file; false when either is not there.
    bool IsSameFile(const FileStatus& other) const
    {
        return !error && !other.error && volume == other.volume && file == other.file;
    }
};

// The file at name, every link followed.
FileStatus StatusOf(const QByteArray& name);
// The name itself: a symbolic link is told as such.
FileStatus LinkStatusOf(const QByteArray& name);

// The absolute path of what name stands for, every link followed and the
// folders resolved; empty when it does not exist.
QByteArray ResolvedPath(const QByteArray& name);
// Where the symbolic link name points, as written in it; empty when name is
// no symbolic link.
QByteArray LinkTarget(const QByteArray& name);

// Why this program may not write to name; no failure when it may.
SystemError WriteAccess(const QByteArray& name);
// Why this program may not both read and write name; no failure when it may.
SystemError ReadWriteAccess(const QByteArray& name);
// The name of the group that owns name; empty when the system tells none.
QString OwningGroupName(const QByteArray& name);

// Whether name is the device that takes every byte and keeps none, also
// through a link.
bool IsNullDevice(const QByteArray& name);

} // namespace platform
