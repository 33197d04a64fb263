#pragma once

#include "platform/file.h"
#include "platform/systemerror.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// A file written beside the file it is to replace and moved over it only when
// committed: until then, and on any failure, what was at the target stays as
// it was, and nothing is left beside it. A target that is a link is replaced
// where the link points. Names may hold bytes that are not UTF-8 (see
// nativename.h).
class StagedFile
{
public:
    explicit StagedFile(const QString& target);
    ~StagedFile(); // removes the written file unless it was committed
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Starts a new file beside the target. Refuses a target that is not a
    // regular file or not writable.
    bool Open();
    // Adds the bytes to the file Open() started.
    bool Append(QByteArrayView bytes);
    // The whole file at once: Open(), Append() and the file completed, to be
    // checked by WrittenName() before it is committed.
    bool Write(const QByteArray& bytes);
    // The written file.
    QString WrittenName() const;
    // Completes the written file and moves it over the target. With
    // keepPrevious what was at the target stays linked beside it until
    // RestorePrevious() or the end of this object, for a new file that is
    // still to be tried in place.
    bool Commit(bool keepPrevious = false);
    // After Commit(true): puts back what was at the target, or removes the
    // committed file when nothing was there.
    bool RestorePrevious();
    void Discard();

    QString ErrorString() const { return m_error; }

private:
    bool Fail(platform::SystemError error);
    // Puts what was appended on disk and closes the file.
    bool Complete();
    QByteArray NameBeside(const char* kind) const;
    void SyncFolder() const;

    QByteArray m_target;
    QByteArray m_written;
    platform::File m_file;
    QByteArray m_previous; // what was at the target, kept after Commit(true)
    bool m_committedKeeping = false;
    QString m_error;
};
