#include "platform/FileCommit.h"

#include "platform/Archive.h"
#include "platform/FileSystem.h"
#include "platform/Temporaries.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <filesystem>
#include <optional>

namespace quorvel {

namespace {

using Status = CWriteResult::Status;

CWriteResult Failure(Status status, const QString &path, int systemError,
                     QFileDevice::FileError qtError = QFileDevice::NoError,
                     const QString &detail = QString())
{
    CWriteResult result;
    result.status = status;
    result.cause = ClassifyFileError(path, systemError, qtError, true);
    result.detail = detail;
    return result;
}

CWriteResult Failure(Status status, const QString &path, int systemError, const QFileDevice &file)
{
    return Failure(status, path, systemError, file.error(), file.errorString());
}

// Refuses a path that no write may go to: none, one whose name was decoded with loss, and
// (with ExistingFile::replace) one held by a folder, a device or a file its owner made
// read-only. A link is no reason: it is replaced itself.
std::optional<CWriteResult> Refusal(const QString &path, ExistingFile existing)
{
    CWriteResult refused;
    refused.status = Status::notCreated;
    if (path.isEmpty())
        return refused;
    if (!CanBeNamed(path)) {
        refused.cause = FileErrorCause::unnamable;
        return refused;
    }
    const QFileInfo info(path);
    if (existing == ExistingFile::keep && (info.exists() || info.isSymLink())) {
        refused.status = Status::pathTaken;
        return refused;
    }
    if (existing == ExistingFile::replace && !info.isSymLink() && info.exists()
        && (!info.isFile() || !info.isWritable())) {
        refused.cause = ClassifyFileError(path, 0, QFileDevice::OpenError, true);
        return refused;
    }
    return std::nullopt;
}

// Gives the new file the permissions of the regular file it is to replace; a link, or no
// file at all, leaves it with those of any new file.
void TakePermissions(const QString &target, const QString &file)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status existing = fs::symlink_status(QFileInfo(target).filesystemFilePath(), error);
    if (error || !fs::is_regular_file(existing))
        return;
    fs::permissions(QFileInfo(file).filesystemFilePath(), existing.permissions() & fs::perms::all,
                    error);
}

// Runs write(), the final flush and the sync; the failure, or nothing when every byte is on
// the disk. target is the path the file is to take, for the error's cause.
std::optional<CWriteResult> Fill(QFile &file, const QString &target,
                                 const std::function<bool(QIODevice &)> &write)
{
    try {
        errno = 0;
        if (!write(file)) {
            // The writer gave up; when the device refused its bytes, that is the reason. A
            // short write leaves no error on the device, only the system's error number.
            const int systemError = LastSystemError();
            const FileErrorCause cause = CauseOfSystemError(systemError, true);
            if (file.error() != QFileDevice::NoError || cause == FileErrorCause::diskFull
                || cause == FileErrorCause::hardIO)
                return Failure(Status::notWritten, target, systemError, file);
            return Failure(Status::notWritten, QString(), 0);
        }
    } catch (const CArchiveWriteError &) {
        return Failure(Status::notWritten, target, LastSystemError(), file);
    }
    errno = 0;
    // A short write that only the final flush meets (a full disk, a file size limit) must
    // not count as written.
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return Failure(Status::notWritten, target, LastSystemError(), file);
    TakePermissions(target, file.fileName());
    int systemError = 0;
    if (!SyncToDisk(file, &systemError))
        return Failure(Status::notWritten, target, systemError);
    errno = 0;
    file.close();
    if (file.error() != QFileDevice::NoError)
        return Failure(Status::notWritten, target, LastSystemError(), file);
    return std::nullopt;
}

} // namespace

CWriteResult WriteWholeFile(const QString &path, const std::function<bool(QIODevice &)> &write,
                            ExistingFile existing)
{
    if (const auto refused = Refusal(path, existing))
        return *refused;
    const QString folder = QFileInfo(path).absolutePath();
    RemoveLeftovers(folder);

    CTemporaryFile temporary;
    QFile &file = temporary.File();
    if (!temporary.Create(path))
        return Failure(Status::notCreated, path, temporary.SystemError(), file);
    if (const auto failure = Fill(file, path, write))
        return *failure;

    int systemError = 0;
    if (existing == ExistingFile::replace) {
        if (!MoveReplacing(file.fileName(), path, &systemError))
            return Failure(Status::notWritten, path, systemError);
    } else {
        switch (MoveWithoutReplacing(file.fileName(), path, &systemError)) {
        case MoveOutcome::moved:
            break;
        case MoveOutcome::targetExists:
            return Failure(Status::pathTaken, QString(), 0);
        case MoveOutcome::failed:
            return Failure(Status::notWritten, path, systemError);
        }
    }
    temporary.Keep();
    if (!SyncFolder(folder, &systemError)) {
        // The name may not survive a power loss. A fresh name is ours to give back; a replaced
        // file cannot be brought back, but the write is not reported as done.
        if (existing == ExistingFile::keep)
            QFile::remove(path);
        return Failure(Status::notWritten, path, systemError);
    }
    return {};
}

CWriteResult WriteWholeFiles(const std::vector<CFileToWrite> &files, std::size_t *failed)
{
    std::size_t failedIndex = 0;
    const auto failure = [&](std::size_t index, CWriteResult result) {
        failedIndex = index;
        if (failed)
            *failed = index;
        return result;
    };
    if (files.empty())
        return {};
    const QString folder = QFileInfo(files.front().path).absolutePath();
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (const auto refused = Refusal(files[i].path, ExistingFile::replace))
            return failure(i, *refused);
        if (QFileInfo(files[i].path).absolutePath() != folder)
            return failure(i, Failure(Status::notCreated, QString(), 0)); // one folder only
    }
    RemoveLeftovers(folder);

    CStagedSet set;
    int systemError = 0;
    if (!set.Create(folder, &systemError))
        return failure(0, Failure(Status::notCreated, files.front().path, systemError));
    for (std::size_t i = 0; i < files.size(); ++i) {
        QFile device(set.NewPath(QFileInfo(files[i].path).fileName()));
        errno = 0;
        if (!device.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return failure(i, Failure(Status::notCreated, files[i].path, LastSystemError(), device));
        if (const auto filled = Fill(device, files[i].path, files[i].write))
            return failure(i, *filled);
    }
    if (!set.Commit(&systemError))
        return failure(0, Failure(Status::notWritten, files.front().path, systemError));

    // Every file is on the disk; what had their names goes aside until all have them.
    std::vector<bool> aside(files.size()), placed(files.size());
    bool switched = true;
    for (std::size_t i = 0; switched && i < files.size(); ++i) {
        const QString &path = files[i].path;
        const QString name = QFileInfo(path).fileName();
        const QFileInfo info(path);
        if (info.exists() || info.isSymLink()) {
            aside[i] = MoveWithoutReplacing(path, set.OldPath(name), &systemError)
                       == MoveOutcome::moved;
            switched = aside[i];
        }
        if (switched) {
            placed[i] = MoveWithoutReplacing(set.NewPath(name), path, &systemError)
                        == MoveOutcome::moved;
            switched = placed[i];
        }
        failedIndex = i;
    }
    int syncError = 0;
    if (switched && SyncFolder(folder, &syncError))
        return {};
    if (switched)
        systemError = syncError;

    // Back as it was. A writer killed here leaves a committed set, which the next write
    // finishes instead: either way the folder holds one whole set.
    int ignored = 0;
    for (std::size_t i = files.size(); i-- > 0;) {
        const QString name = QFileInfo(files[i].path).fileName();
        if (placed[i])
            MoveReplacing(files[i].path, set.NewPath(name), &ignored);
        if (aside[i])
            MoveWithoutReplacing(set.OldPath(name), files[i].path, &ignored);
    }
    SyncFolder(folder, &ignored);
    return failure(failedIndex, Failure(Status::notWritten, files[failedIndex].path, systemError));
}

} // namespace quorvel
