#pragma once
// The write that leaves a file whole or not at all, and the set of files written as one.
// Every write follows one rule for what has the name already: a link is replaced itself,
// never written through, and a file's permissions pass to the file that replaces it.

#include "platform/FileErrors.h"

#include <QString>

#include <functional>
#include <vector>

class QIODevice;

namespace quorvel {

// What a whole-file write does to a file that already has its name.
enum class ExistingFile {
    replace, // the new file takes its place
    keep,    // it stays, and the write reports the path as taken
};

// How a whole-file write ended.
struct CWriteResult
{
    enum class Status {
        written,
        notCreated, // the file could not be created: nothing was written
        notWritten, // writing or committing failed: whatever stood at the path is as it was
        pathTaken,  // ExistingFile::keep found a file at the path, before or while writing
    };
    Status status = Status::written;
    // What the file system said of the failure; none when it said nothing useful.
    FileErrorCause cause = FileErrorCause::none;
    // Qt's own words for the failure, for logs and the command-line tool.
    QString detail;

    bool Written() const { return status == Status::written; }
};

// Writes the file whole or not at all: write() fills a temporary file beside the path (see
// Temporaries.h), whose bytes take the path's name only when write() returned true and the
// system has put every byte on the disk; the folder is synced after. Otherwise whatever stood
// at the path stays as it was and nothing is left beside it. A CArchiveWriteError out of
// write() counts as a failed write; other exceptions pass through after the same clean-up.
// With ExistingFile::keep the name is taken in one step that fails when a file has it, so a
// file that appeared at a freshly drawn path while it was being written is never replaced.
// Every write first removes the leftovers of killed writes in the folder.
CWriteResult WriteWholeFile(const QString &path, const std::function<bool(QIODevice &)> &write,
                            ExistingFile existing = ExistingFile::replace);

// One file of a set that is written as one.
struct CFileToWrite
{
    QString path;
    std::function<bool(QIODevice &)> write;
};

// Writes several files of one folder whole, and all of them or none: each is filled in a
// staging folder (CStagedSet), and only when every one is on the disk do they take their
// names, replacing what had them. On failure nothing is left at a path that was free,
// whatever stood at the others is as it was, and *failed, when given, is the failed file's
// index. A writer killed while the files take their names leaves the set to the next write
// into the folder, which finishes it.
CWriteResult WriteWholeFiles(const std::vector<CFileToWrite> &files, std::size_t *failed = nullptr);

} // namespace quorvel
