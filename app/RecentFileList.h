#pragma once
// The most recently opened or saved company files, newest first, kept in the settings under
// "Recent File List" as File1, File2, ... File > Recent Companies shows them.

#include <QStringList>

class QSettings;

namespace quorvel {

class CRecentFileList
{
public:
    explicit CRecentFileList(int maxEntries);

    void ReadList(QSettings &settings);
    void WriteList(QSettings &settings) const;

    // Moves the path to the front, dropping an older copy of it and the oldest entry beyond
    // the limit. An empty path is ignored.
    void Add(const QString &path);
    // Drops the path, however it is written, from the list.
    void Remove(const QString &path);

    const QStringList &Entries() const { return m_entries; }
    int MaxEntries() const { return m_maxEntries; }

private:
    int m_maxEntries;
    QStringList m_entries;
};

} // namespace quorvel
