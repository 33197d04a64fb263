#include "app/recentfiles.h"

#include "db/location/dbfile.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString kSection = QStringLiteral("Recent File List");

QString entryKey(int i)
{
    return kSection + QStringLiteral("/File%1").arg(i + 1);
}

} // namespace

CRecentFileList::CRecentFileList(int size) : m_nSize(size) {}

void CRecentFileList::ReadList()
{
    QSettings settings;
    m_files.clear();
    for (int i = 0; i < m_nSize; ++i) {
        const QString path = settings.value(entryKey(i)).toString();
        if (!path.isEmpty())
            m_files << path;
    }
}

void CRecentFileList::WriteList() const
{
    QSettings settings;
    settings.remove(kSection);
    for (int i = 0; i < m_files.size(); ++i)
        settings.setValue(entryKey(i), m_files.at(i));
}

void CRecentFileList::Add(const QString& path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    for (qsizetype i = m_files.size() - 1; i >= 0; --i) {
        if (SameFile(m_files.at(i), full))
            m_files.removeAt(i);
    }
    m_files.prepend(full);
    while (m_files.size() > m_nSize)
        m_files.removeLast();
}

void CRecentFileList::Remove(int index)
{
    if (index >= 0 && index < m_files.size())
        m_files.removeAt(index);
}
