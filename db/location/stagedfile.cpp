#include "db/location/stagedfile.h"

#include "db/location/nativename.h"
#include "db/location/outputcheck.h"
#include "platform/filenames.h"
#include "platform/filestatus.h"

#include <QRandomGenerator>
#include <algorithm>

using platform::SystemError;

namespace {

QByteArray randomSuffix()
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray s(6, '\0');
    for (char& c : s)
        c = kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))];
    return s;
}

} // namespace

StagedFile::StagedFile(const QString& target) : m_target(OutputTarget(target)) {}

StagedFile::~StagedFile()
{
    Discard();
    if (!m_previous.isEmpty())
        platform::RemoveName(m_previous);
}

QByteArray StagedFile::NameBeside(const char* kind) const
{
    const qsizetype slash = m_target.lastIndexOf('/');
    return m_target.left(slash + 1) + '.' + m_target.mid(slash + 1) + kind + randomSuffix();
}

void StagedFile::SyncFolder() const
{
    // A new name is lasting once the folder is on disk too.
    const qsizetype slash = m_target.lastIndexOf('/');
    platform::SyncFolder(slash < 0 ? QByteArray(".")
                                   : m_target.left(std::max<qsizetype>(slash, 1)));
}

bool StagedFile::Fail(SystemError error)
{
    m_error = error.Text();
    Discard();
    return false;
}

bool StagedFile::Open()
{
    Discard();
    const platform::FileStatus target = platform::StatusOf(m_target);
    const bool exists = target.Exists();
    if (exists && target.type != platform::FileType::Regular) {
        m_error = QStringLiteral("not a regular file");
        return false;
    }
    if (exists) {
        if (const SystemError denied = platform::WriteAccess(m_target))
            return Fail(denied);
    }

    // Longer than the target's name: a name too long for the database layer
    // fails here, before anything is replaced.
    for (int attempt = 0; !m_file.IsOpen() && attempt < 100; ++attempt) {
        m_written = NameBeside(".");
        if (!m_file.CreateNew(m_written) && !m_file.Error().Is(std::errc::file_exists)) {
            m_written.clear();
            return Fail(m_file.Error());
        }
    }
    if (!m_file.IsOpen()) {
        m_written.clear();
        return Fail(SystemError(std::errc::file_exists));
    }
    // A replaced file keeps its permissions; a new one gets the usual ones.
    return !exists || m_file.SetPermissions(target.permissions) || Fail(m_file.Error());
}

bool StagedFile::Append(QByteArrayView bytes)
{
    if (!m_file.IsOpen())
        return Fail(SystemError(std::errc::bad_file_descriptor));
    return m_file.WriteAll(bytes) || Fail(m_file.Error());
}

bool StagedFile::Complete()
{
    SystemError error = m_file.Sync() ? SystemError() : m_file.Error();
    if (!m_file.Close() && !error)
        error = m_file.Error();
    return !error || Fail(error);
}

bool StagedFile::Write(const QByteArray& bytes)
{
    return Open() && Append(bytes) && Complete();
}

QString StagedFile::WrittenName() const
{
    return DecodeFileName(m_written);
}

bool StagedFile::Commit(bool keepPrevious)
{
    if (m_written.isEmpty())
        return Fail(SystemError(std::errc::no_such_file_or_directory));
    if (m_file.IsOpen() && !Complete())
        return false;
    if (keepPrevious) {
        // A second name for what is there, so that the move below cannot
        // take it away.
        SystemError linked(std::errc::file_exists);
        for (int attempt = 0; linked && attempt < 100; ++attempt) {
            m_previous = NameBeside(".previous.");
            linked = platform::AddHardLink(m_target, m_previous);
            if (linked && !linked.Is(std::errc::file_exists))
                break;
        }
        if (linked) {
            m_previous.clear();
            if (!linked.Is(std::errc::no_such_file_or_directory))
                return Fail(linked);
        }
    }
    if (const SystemError moved = platform::MoveOver(m_written, m_target)) {
        if (!m_previous.isEmpty())
            platform::RemoveName(m_previous);
        m_previous.clear();
        return Fail(moved);
    }
    m_written.clear();
    m_committedKeeping = keepPrevious;
    SyncFolder();
    return true;
}

bool StagedFile::RestorePrevious()
{
    if (!m_committedKeeping)
        return false;
    m_committedKeeping = false;
    const SystemError failed = m_previous.isEmpty() ? platform::RemoveName(m_target)
                                                    : platform::MoveOver(m_previous, m_target);
    if (failed) {
        m_error = failed.Text();
        return false;
    }
    m_previous.clear();
    SyncFolder();
    return true;
}

void StagedFile::Discard()
{
    m_file.Close();
    if (m_written.isEmpty())
        return;
    platform::RemoveName(m_written);
    m_written.clear();
}
