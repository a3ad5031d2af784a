#include "game/WineRegistryCache.h"

#include "platform/FileCommit.h"
#include "platform/Logging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

// The cache file, one JSON object:
//
//   {"query": "Software\\Kavro\\Halvortine Setup|...|Path",
//    "files": [{"path": ".../pfx/system.reg", "size": 1893421, "modified": 1700000000000,
//               "status": "found", "key": "Software\\Kavro\\Halvortine Setup",
//               "text": "C:\\Games\\Halvortine"}, ...]}

namespace quorvel {
namespace {

using Status = WineRegistryLookup::Status;

// A file changed this recently may change again within its time stamp's resolution without
// its stamp moving, so its answer is not kept.
constexpr qint64 kSettledMs = 3000;
// Far more than fifty prefixes need; a larger file is not ours to read.
constexpr qint64 kMaxCacheBytes = 4 << 20;

struct CStatusName
{
    Status status;
    const char *name;
};
constexpr CStatusName kStatusNames[] = {
    {Status::KeyMissing, "key-missing"},
    {Status::ValueMissing, "value-missing"},
    {Status::NotText, "not-text"},
    {Status::Found, "found"},
};

std::optional<Status> StatusOfName(const QString &name)
{
    for (const CStatusName &entry : kStatusNames) {
        if (name == QLatin1String(entry.name))
            return entry.status;
    }
    return std::nullopt;
}

QString NameOfStatus(Status status)
{
    for (const CStatusName &entry : kStatusNames) {
        if (entry.status == status)
            return QLatin1String(entry.name);
    }
    return {};
}

QString DefaultCacheFile()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/quorvel/wine-registry.json");
}

} // namespace

CWineRegistryCache::CWineRegistryCache(QStringList keys, QString valueName, QString cacheFile)
    : m_keys(std::move(keys))
    , m_valueName(std::move(valueName))
    , m_cacheFile(cacheFile.isEmpty() ? DefaultCacheFile() : std::move(cacheFile))
{
    Load();
}

QString CWineRegistryCache::Query() const
{
    return (m_keys + QStringList{m_valueName}).join(u'|');
}

void CWineRegistryCache::Load()
{
    if (m_cacheFile.isEmpty())
        return;
    QFile file(m_cacheFile);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxCacheBytes)
        return;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.value(QStringLiteral("query")).toString() != Query())
        return;
    const QJsonArray files = root.value(QStringLiteral("files")).toArray();
    for (const QJsonValue &value : files) {
        const QJsonObject entry = value.toObject();
        const QString path = entry.value(QStringLiteral("path")).toString();
        const auto status = StatusOfName(entry.value(QStringLiteral("status")).toString());
        if (path.isEmpty() || !status)
            continue;
        CAnswer answer;
        answer.size = qint64(entry.value(QStringLiteral("size")).toDouble(-1));
        answer.modified = qint64(entry.value(QStringLiteral("modified")).toDouble(-1));
        answer.lookup.status = *status;
        answer.lookup.key = entry.value(QStringLiteral("key")).toString();
        answer.lookup.text = entry.value(QStringLiteral("text")).toString();
        m_loaded[path] = answer;
    }
}

std::optional<WineRegistryLookup> CWineRegistryCache::LookUp(const QString &registryFile)
{
    const QFileInfo info(registryFile);
    CAnswer answer;
    answer.size = info.size();
    answer.modified = info.lastModified().toMSecsSinceEpoch();
    if (const auto known = m_loaded.find(registryFile); known != m_loaded.end()
        && known->second.size == answer.size && known->second.modified == answer.modified) {
        m_used[registryFile] = known->second;
        return known->second.lookup;
    }

    QFile file(registryFile);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        qCDebug(lcGame) << "cannot read" << registryFile << file.errorString();
        return std::nullopt;
    }
    if (MayHoldWineRegistryKey(file, m_keys) && file.seek(0))
        answer.lookup = LookUpWineRegistryValue(file, m_keys, m_valueName);
    if (file.error() != QFileDevice::NoError) {
        qCDebug(lcGame) << "reading" << registryFile << "failed:" << file.errorString();
        return std::nullopt;
    }
    // Read before or while it changed: asked afresh next time.
    const QFileInfo after(registryFile);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (after.size() == answer.size
        && after.lastModified().toMSecsSinceEpoch() == answer.modified
        && now - answer.modified >= kSettledMs)
        m_used[registryFile] = answer;
    return answer.lookup;
}

void CWineRegistryCache::Save()
{
    if (m_cacheFile.isEmpty() || m_used == m_loaded)
        return;
    QJsonArray files;
    for (const auto &[path, answer] : m_used) {
        QJsonObject entry;
        entry.insert(QStringLiteral("path"), path);
        entry.insert(QStringLiteral("size"), double(answer.size));
        entry.insert(QStringLiteral("modified"), double(answer.modified));
        entry.insert(QStringLiteral("status"), NameOfStatus(answer.lookup.status));
        if (!answer.lookup.key.isEmpty())
            entry.insert(QStringLiteral("key"), answer.lookup.key);
        if (answer.lookup.status == Status::Found)
            entry.insert(QStringLiteral("text"), answer.lookup.text);
        files.append(entry);
    }
    QJsonObject root;
    root.insert(QStringLiteral("query"), Query());
    root.insert(QStringLiteral("files"), files);

    QDir().mkpath(QFileInfo(m_cacheFile).path());
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Compact);
    const CWriteResult written = WriteWholeFile(
        m_cacheFile, [&bytes](QIODevice &device) { return device.write(bytes) == bytes.size(); });
    if (!written.Written()) {
        qCDebug(lcGame) << "cannot write the prefix cache" << m_cacheFile << written.detail;
        return;
    }
    m_loaded = m_used;
}

} // namespace quorvel
