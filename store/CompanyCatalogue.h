#pragma once
// The catalogue of the companies installed in the object folder: for each company file a
// display name, the checksum from its header and, for the Open dialog, a 24x24 preview. It
// reads a small part of each file by fixed positions instead of going through the reader, so
// a scan of a folder of thousands of objects stays fast.

#include <QImage>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace quorvel {

struct CFolderEntry;

// The previews of a scan: 24x24 pictures, each catalogue entry naming its own by index.
using CPreviewList = QList<QImage>;

class CCompanyEntry
{
public:
    // Owner names are cut at this many characters in the display name.
    static constexpr int kMaxOwnerNameLength = 1023;

    // Reads the regular file at path (a pipe could block); never throws. Without previews the entry is valid when the file
    // passes the company test and holds its owner name. With previews it must also have a
    // 24x24 picture, which is appended to previews and named by m_imageIndex. A file that
    // ends early is invalid.
    bool LoadFromFile(const QString &path, CPreviewList *previews = nullptr);

    // Both valid, the same checksum and the same display name, case and all: the same
    // company, as far as import can tell.
    bool Matches(const CCompanyEntry &other) const;

    int m_imageIndex = -1;
    QString m_path;
    // The owner name (without its lead byte), " (", the date stamp's text, ")".
    QString m_displayName;
    bool m_valid = false;
    std::uint32_t m_checksum = 0;
};

// Whether an entry of the object folder is worth reading: not a folder, not hidden, not
// marked system, temporary or compressed, and (off Windows) not a pipe or a device, which
// could block the reader. The extension does not matter.
bool IsCandidateFile(const CFolderEntry &entry);

// Calls visit with the path of each candidate file of the folder, in the file system's order,
// until it returns false. A folder that cannot be listed has none.
void ForEachCandidateFile(const QString &folder, const std::function<bool(const QString &)> &visit);

// Appends to entries the valid entries of the folder's candidate files, in the file system's
// order; with previews, only the companies that can be previewed.
void ScanObjectFolder(const QString &folder, CPreviewList *previews,
                      std::vector<CCompanyEntry> &entries);

} // namespace quorvel
