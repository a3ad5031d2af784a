#pragma once
// The causes and texts of file errors, in one place for the documents and the tool.

#include <QFileDevice>
#include <QString>

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
    unnamable, // the name cannot be carried through Qt's strings (CanBeNamed)
};

// Works out the cause from what the file system says about the path and from the system
// error number of the failed call (0 when unknown). writing: the file was being created.
FileErrorCause ClassifyFileError(const QString &path, int systemError,
                                 QFileDevice::FileError qtError, bool writing);

// The cause that a system error number stands for; none for 0, generic for one without a
// message of its own.
FileErrorCause CauseOfSystemError(int systemError, bool writing);

// The message for a cause, with the path in native form; empty for FileErrorCause::none.
QString FileErrorText(FileErrorCause cause, const QString &path);

// False for a path that Qt decoded from bytes that are not valid in the system's encoding:
// such a path names another file than the one it came from, so nothing may be written to it.
// Off Windows, the replacement character that the decoding leaves is taken as the sign.
bool CanBeNamed(const QString &path);

} // namespace quorvel
