#pragma once
// Reading and writing files for the commands, with the editor's own texts for failures.

#include "platform/FileCommit.h"

#include <QString>

#include <cstdint>
#include <functional>

class QIODevice;

namespace quorvel {
class CCompanyRecord;
}

namespace quorvel::tool {

// Reads a company file with the editor's reader. On failure returns false and sets *error to
// a one-line message that starts with the path, e.g. "a.company: Unexpected file format.".
// *checksum, when given, receives the object checksum from the file's header.
bool ReadCompanyFile(const QString &path, CCompanyRecord &record, QString *error,
                     std::uint32_t *checksum = nullptr);

// Writes a file whole or not at all: write() fills the device and returns false (with
// *error set) to abandon the file. On failure *error holds a one-line message. With
// ExistingFile::keep a file found at the path stays; then *pathTaken, when given, is set.
bool WriteFileWhole(const QString &path, const std::function<bool(QIODevice &, QString *)> &write,
                    QString *error, ExistingFile existing = ExistingFile::replace,
                    bool *pathTaken = nullptr);

// Writes a company as the editor does (see WriteCompany).
bool WriteCompanyFile(const QString &path, CCompanyRecord &record, bool modified,
                      QString *error, ExistingFile existing = ExistingFile::replace,
                      bool *pathTaken = nullptr);

// A path as the listing and import commands print it: absolute, with native separators.
QString ShownPath(const QString &path);

} // namespace quorvel::tool
