#include "store/CompanyImport.h"

#include "platform/Logging.h"
#include "store/CompanyCatalogue.h"

#include <QFileInfo>

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

} // namespace quorvel
