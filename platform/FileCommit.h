#pragma once
// One home for file plumbing below the documents and the tool: the causes and texts of file
// errors, and the write that leaves a file whole or not at all.

#include <QFileDevice>
#include <QString>

#include <functional>
#include <vector>

namespace quorvel {

// Why a file could not be opened, created, read or written; each cause has its own message.
enum class FileErrorCause {
    none,
    generic,
    fileNotFound,
    badPath,
    tooManyOpenFiles,
    accessDenied,
    invalidFile,
    directoryFull,
    hardIO,
    sharingViolation,
    lockViolation,
    diskFull,
    endOfFile,
};

// Works out the cause from what the file system says about the path and from the system
// error number of the failed call (0 when unknown). writing: the file was being created.
FileErrorCause ClassifyFileError(const QString &path, int systemError,
                                 QFileDevice::FileError qtError, bool writing);

// The message for a cause, with the path in native form; empty for FileErrorCause::none.
QString FileErrorText(FileErrorCause cause, const QString &path);

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

// Writes the file whole or not at all: write() fills a device whose bytes take the path's
// name only when write() returned true and every byte reached the disk; otherwise whatever
// stood at the path stays as it was and nothing is left beside it. A CArchiveWriteError out
// of write() counts as a failed write; other exceptions pass through after the same clean-up.
// With ExistingFile::keep the name is taken in one step that fails when a file has it, so a
// file that appeared at a freshly drawn path while it was being written is never replaced.
CWriteResult WriteWholeFile(const QString &path, const std::function<bool(QIODevice &)> &write,
                            ExistingFile existing = ExistingFile::replace);

// One file of a set that is written as one.
struct CFileToWrite
{
    QString path;
    std::function<bool(QIODevice &)> write;
};

// Writes several files (at different paths) whole, and all of them or none: each is filled
// beside its path as WriteWholeFile fills one, and only when every one was written do they take
// their names, replacing what had them. On failure nothing is left at a path that was free,
// whatever stood at the others is as it was, and *failed, when given, is the failed file's index.
CWriteResult WriteWholeFiles(const std::vector<CFileToWrite> &files, std::size_t *failed = nullptr);

} // namespace quorvel
