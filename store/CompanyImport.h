#pragma once
// The import decision: is the company in an exported file installed already?

#include <QString>

#include <memory>
#include <optional>

class QLockFile;

namespace quorvel {

// The installed copy of a company file: the first file of the folder, in the file system's
// order, whose catalogue entry matches the file's. Nothing when none matches, and nothing
// without a search when the file itself fails the company test.
std::optional<QString> FindInstalledCopy(const QString &file, const QString &folder);

// Held around the match search and the install, so that two imports of one company at once
// (editors or quorvel-tool) install it once: the second finds the first one's file. It is
// advisory: a folder that takes no lock file, or a lock not had within seconds, lets the
// import go on without it.
class CImportLock
{
public:
    explicit CImportLock(const QString &folder);
    CImportLock(const CImportLock &) = delete;
    CImportLock &operator=(const CImportLock &) = delete;
    ~CImportLock();

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace quorvel
