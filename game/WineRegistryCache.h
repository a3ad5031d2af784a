#pragma once
// The game's registry value in many Wine prefixes, remembered between runs: a prefix's
// system.reg runs to megabytes, and a player with fifty Proton prefixes should not wait for
// all of them to be read at every start. An answer is reused only while its file keeps the
// size and modification time it had when it was read.

#include "game/WineRegistry.h"

#include <QString>
#include <QStringList>

#include <map>
#include <optional>

namespace quorvel {

class CWineRegistryCache
{
public:
    // Answers for one query (keys and value name), kept in the file given, or in the user's
    // cache folder when it is empty. A missing or malformed cache file starts empty.
    CWineRegistryCache(QStringList keys, QString valueName, QString cacheFile = {});

    // The value in a registry file, from the cache when the file has not changed since, else
    // read (a file without the keys by a quick scan only). Nothing when it cannot be read.
    std::optional<WineRegistryLookup> LookUp(const QString &registryFile);

    // Writes the answers of this run back, when they differ from what was read; the answers
    // for files not asked about in this run are dropped. Failures are only logged.
    void Save();

    QString CacheFile() const { return m_cacheFile; }

private:
    struct CAnswer
    {
        qint64 size = 0;
        qint64 modified = 0; // milliseconds since 1970
        WineRegistryLookup lookup;
        bool operator==(const CAnswer &) const = default;
    };

    void Load();
    QString Query() const;

    QStringList m_keys;
    QString m_valueName;
    QString m_cacheFile;
    std::map<QString, CAnswer> m_loaded;
    std::map<QString, CAnswer> m_used;
};

} // namespace quorvel
