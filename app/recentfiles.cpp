#include "app/recentfiles.h"

#include "db/location/dbfile.h"
#include "db/location/location.h"

#include <QSettings>

namespace {

const QString kSection = QStringLiteral("Recent File List");

QString entryKey(int i)
{
    return kSection + QStringLiteral("/File%1").arg(i + 1);
}

bool sameEntry(const QString& entry, const Location& location)
{
    const Location listed = Location::Parse(entry);
    // Files also under another name (a link); servers and sources by their text.
    return listed == location ||
           (listed.IsFile() && location.IsFile() && SameFile(listed, location));
}

} // namespace

RecentFileList::RecentFileList(int size) : m_size(size) {}

void RecentFileList::ReadList()
{
    QSettings settings;
    m_files.clear();
    for (int i = 0; i < m_size; ++i) {
        const QString path = settings.value(entryKey(i)).toString();
        if (!path.isEmpty())
            m_files << path;
    }
}

void RecentFileList::WriteList() const
{
    QSettings settings;
    settings.remove(kSection);
    for (int i = 0; i < m_files.size(); ++i)
        settings.setValue(entryKey(i), m_files.at(i));
}

void RecentFileList::Add(const Location& location)
{
    for (qsizetype i = m_files.size() - 1; i >= 0; --i) {
        if (sameEntry(m_files.at(i), location))
            m_files.removeAt(i);
    }
    m_files.prepend(location.Kept());
    while (m_files.size() > m_size)
        m_files.removeLast();
}

void RecentFileList::Remove(int index)
{
    if (index >= 0 && index < m_files.size())
        m_files.removeAt(index);
}
