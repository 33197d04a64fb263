#include "db/location/readlock.h"

#include "platform/filestatus.h"

#include <utility>

namespace {

// The regular file at name opened, or none. Opening a pipe or a device could
// block or act on it.
platform::File openRegular(const QByteArray& name)
{
    platform::File file;
    if (name.isEmpty() || platform::StatusOf(name).type != platform::FileType::Regular ||
        !file.OpenToRead(name))
        return {};
    const platform::FileStatus opened = file.Status();
    if (!opened.Exists() || opened.type != platform::FileType::Regular)
        return {};
    return file;
}

} // namespace

FileReadLock::FileReadLock(const Location& db)
    : m_name(db.File().NativeName()), m_file(openRegular(m_name))
{
}

// The stale files are closed after the current one.
FileReadLock::~FileReadLock()
{
    m_file.Close();
}

FileReadLock::Try FileReadLock::TryLock()
{
    if (m_locked)
        return Try::Taken;
    if (m_file.IsOpen() && !m_file.Status().IsSameFile(platform::StatusOf(m_name)))
        m_stale.push_back(std::move(m_file));
    if (!m_file.IsOpen())
        m_file = openRegular(m_name);
    if (!m_file.IsOpen())
        return Try::NotApplicable;
    switch (m_file.TryLock()) {
    case platform::File::Lock::Taken:
        m_locked = true;
        return Try::Taken;
    case platform::File::Lock::Busy:
        return Try::Busy;
    case platform::File::Lock::Failed:
        break;
    }
    return Try::NotApplicable;
}

void FileReadLock::Unlock()
{
    if (m_locked && m_file.IsOpen())
        m_file.Unlock();
    m_locked = false;
}
