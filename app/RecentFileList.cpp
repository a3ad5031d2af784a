#include "app/RecentFileList.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace quorvel {

namespace {

const QString kSection = QStringLiteral("Recent File List");

QString EntryKey(int index)
{
    return QStringLiteral("File%1").arg(index + 1);
}

bool SamePath(const QString &a, const QString &b)
{
#ifdef Q_OS_WIN
    return a.compare(b, Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

} // namespace

CRecentFileList::CRecentFileList(int maxEntries)
    : m_maxEntries(maxEntries)
{
}

void CRecentFileList::ReadList(QSettings &settings)
{
    m_entries.clear();
    settings.beginGroup(kSection);
    for (int i = 0; i < m_maxEntries; ++i) {
        const QString path = settings.value(EntryKey(i)).toString();
        if (!path.isEmpty() && !m_entries.contains(path))
            m_entries.append(path);
    }
    settings.endGroup();
}

void CRecentFileList::WriteList(QSettings &settings) const
{
    settings.beginGroup(kSection);
    settings.remove(QString());
    for (int i = 0; i < m_entries.size(); ++i)
        settings.setValue(EntryKey(i), QDir::toNativeSeparators(m_entries.at(i)));
    settings.endGroup();
}

void CRecentFileList::Add(const QString &path)
{
    if (path.isEmpty() || m_maxEntries <= 0)
        return;
    Remove(path);
    m_entries.prepend(QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath()));
    while (m_entries.size() > m_maxEntries)
        m_entries.removeLast();
}

void CRecentFileList::Remove(const QString &path)
{
    if (path.isEmpty())
        return;
    const QString full = QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath());
    m_entries.removeIf([&](const QString &entry) {
        return SamePath(QDir::fromNativeSeparators(entry), full);
    });
}

} // namespace quorvel
