#pragma once

#include <QStringList>

// The recent-file list: the last databases opened or created, most recent
// first, kept in the settings store.
class CRecentFileList
{
public:
    explicit CRecentFileList(int size);

    void ReadList();
    void WriteList() const;

    // Puts path at the top; an entry for the same file moves up.
    void Add(const QString& path);
    void Remove(int index);

    QStringList Files() const { return m_files; }
    int GetSize() const { return m_nSize; }

private:
    int m_nSize;
    QStringList m_files;
};
