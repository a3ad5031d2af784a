#pragma once
// Reading and writing files for the commands, with the editor's own texts for failures.

#include "platform/FileCommit.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

class QFile;
class QIODevice;

namespace quorvel {
class CCompanyRecord;
}

namespace quorvel::tool {

// Every message about a file has one form: the path as given, a colon and what went wrong, in
// the editor's own words where it has them ("a.company: Unexpected file format.").
QString FileMessage(const QString &path, const QString &words);

// The words for a path that cannot be carried through Qt's strings without loss.
QString UnnamableWords();

// Opens a file to read; on failure false, with *error the message for a missing file, a
// folder or a file that cannot be read.
bool OpenInputFile(QFile &file, QString *error);

// Reads a company file with the editor's reader. On failure returns false and sets *error to
// the message. *checksum, when given, receives the object checksum from the file's header.
bool ReadCompanyFile(const QString &path, CCompanyRecord &record, QString *error,
                     std::uint32_t *checksum = nullptr);

// An output must not be one of the inputs, however either is named (links included): the
// command stops before anything is touched. Returns kExitUsage after the message when it is
// one of them, else -1.
int RefuseOutputOverInput(const QString &output, const QStringList &inputs);

// Writes a file whole or not at all: write() fills the device and returns false (with
// *error set) to abandon the file. On failure *error holds a one-line message. With
// ExistingFile::keep a file found at the path stays; then *pathTaken, when given, is set.
bool WriteFileWhole(const QString &path, const std::function<bool(QIODevice &, QString *)> &write,
                    QString *error, ExistingFile existing = ExistingFile::replace,
                    bool *pathTaken = nullptr);

// Writes the files all or none (WriteWholeFiles); on failure *error is the failed file's message.
bool WriteFilesWhole(const std::vector<CFileToWrite> &files, QString *error);

// Writes a company as the editor does (see WriteCompany).
bool WriteCompanyFile(const QString &path, const CCompanyRecord &record, bool modified,
                      QString *error, ExistingFile existing = ExistingFile::replace,
                      bool *pathTaken = nullptr);

// Makes a folder and the folders above it that are missing; *made receives those it made,
// deepest first, for RemoveMadeFolders. On failure false with *error the message.
bool MakeFolder(const QString &folder, QStringList *made, QString *error);
void RemoveMadeFolders(const QStringList &made);

// Checks that the folder can be listed, so that an empty listing means an empty folder; on
// failure false with *error the message. A missing folder passes unless mustExist.
bool CheckFolderToList(const QString &folder, bool mustExist, QString *error);

// A path as the commands print what they wrote: absolute, with native separators.
QString ShownPath(const QString &path);

} // namespace quorvel::tool
