#include "store/CompanyImport.h"

#include "platform/Logging.h"
#include "store/CompanyCatalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace quorvel {

std::optional<QString> FindInstalledCopy(const QString &file, const QString &folder)
{
    // A pipe was read once already and has nothing more to give (or would wait for a writer).
    CCompanyEntry imported;
    if (!QFileInfo(file).isFile() || !imported.LoadFromFile(file)) {
        qCDebug(lcStore) << file << "is not a company the catalogue knows; installing anew";
        return std::nullopt;
    }
    std::optional<QString> installed;
    ForEachCandidateFile(folder, [&](const QString &path) {
        CCompanyEntry entry;
        if (entry.LoadFromFile(path) && entry.Matches(imported))
            installed = path;
        return !installed;
    });
    return installed;
}

namespace {

constexpr int kLockWaitMs = 10000;
// An import takes a moment; a lock this old is left by one that died on another machine.
constexpr int kStaleLockMs = 60000;

} // namespace

CImportLock::CImportLock(const QString &folder)
    : m_lock(std::make_unique<QLockFile>(QDir(folder).filePath(QStringLiteral(".quorvel-import.lock"))))
{
    m_lock->setStaleLockTime(kStaleLockMs);
    if (!m_lock->tryLock(kLockWaitMs))
        qCInfo(lcStore) << "importing without the lock on" << folder << "error" << m_lock->error();
}

CImportLock::~CImportLock() = default;

} // namespace quorvel
