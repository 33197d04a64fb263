#pragma once

#include <QStringList>

class Location;

// The recent-file list: the last databases opened or created, most recent
// first, kept in the settings store. Each entry is the text a location is
// kept by (Location::Kept(): a file's absolute path, a server's address
// without its password), given back to Location::Parse when it is chosen.
class CRecentFileList
{
public:
    explicit CRecentFileList(int size);

    void ReadList();
    void WriteList() const;

    // Puts the location at the top; an entry for the same file or the same
    // database moves up.
    void Add(const Location& location);
    void Remove(int index);

    QStringList Files() const { return m_files; }
    int GetSize() const { return m_nSize; }

private:
    int m_nSize;
    QStringList m_files;
};
