#pragma once

#include <QByteArray>
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

    // Writes the bytes to a new file beside the target. Refuses a target that
    // is not a regular file or not writable.
    bool Write(const QByteArray& bytes);
    // The written file, to be checked before it is committed.
    QString WrittenName() const;
    // Moves the written file over the target.
    bool Commit();
    void Discard();

    QString ErrorString() const { return m_error; }

private:
    bool Fail(int error);

    QByteArray m_target;
    QByteArray m_written;
    QString m_error;
};
