#pragma once

#include <QStringList>

class Location;

// The recent-file list: the last databases opened or created, most recent
// first, kept in the settings store. Each entry is the text a location is
// kept by (Location::Kept(): a file's absolute path, a server's address
// without its password), given back to Location::Parse when it is chosen.
class RecentFileList
{
public:
    // As many as the File menu lists.
    static constexpr int kMaxFiles = 4;

    explicit RecentFileList(int size = kMaxFiles);

    void ReadList();
    void WriteList() const;

    // Puts the location at the top; an entry for the same file or the same
    // database moves up.
    void Add(const Location& location);
    void Remove(int index);

    QStringList Files() const { return m_files; }
    int Size() const { return m_size; }

private:
    int m_size;
    QStringList m_files;
};
