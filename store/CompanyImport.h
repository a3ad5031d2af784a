#pragma once
// The import decision: is the company in an exported file installed already?

#include <QString>

#include <optional>

namespace quorvel {

// The installed copy of a company file: the first file of the folder, in the file system's
// order, whose catalogue entry matches the file's. Nothing when none matches, and nothing
// without a search when the file itself fails the company test.
std::optional<QString> FindInstalledCopy(const QString &file, const QString &folder);

} // namespace quorvel
