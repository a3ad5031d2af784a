#include "store/CompanyImport.h"

#include "platform/Logging.h"
#include "store/CompanyCatalogue.h"

namespace quorvel {

std::optional<QString> FindInstalledCopy(const QString &file, const QString &folder)
{
    CCompanyEntry imported;
    if (!imported.LoadFromFile(file)) {
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
