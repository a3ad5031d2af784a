#include "platform/FileCommit.h"

#include "platform/Archive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

namespace quorvel {

namespace {

// The texts keep the framework's translation context.
QString Tr(const char *text)
{
    return QCoreApplication::translate("quorvel::CDocument", text);
}

} // namespace

FileErrorCause ClassifyFileError(const QString &path, int systemError,
                                 QFileDevice::FileError qtError, bool writing)
{
    if (path.isEmpty())
        return FileErrorCause::none;

    // What the file system says about the path is reliable on every platform, so it decides
    // first; the error number then tells the causes that leave no trace on the disk.
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (!folder.exists() || !folder.isDir())
        return FileErrorCause::badPath;
    if (!writing && !info.exists())
        return FileErrorCause::fileNotFound;
    if (info.exists() && !info.isFile())
        return FileErrorCause::accessDenied;
    if (!writing && !info.isReadable())
        return FileErrorCause::accessDenied;
    if (writing && info.exists() && !info.isWritable())
        return FileErrorCause::accessDenied;

    switch (systemError) {
    case 0:
        break;
    case EMFILE:
    case ENFILE:
        return FileErrorCause::tooManyOpenFiles;
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return FileErrorCause::diskFull;
    case EIO:
        return FileErrorCause::hardIO;
    case EBADF:
        return FileErrorCause::invalidFile;
    case EBUSY:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
        return FileErrorCause::sharingViolation;
    case ENOLCK:
    case EDEADLK:
        return FileErrorCause::lockViolation;
    case ENAMETOOLONG:
    case ENOTDIR:
    case EINVAL:
#ifdef ELOOP
    case ELOOP:
#endif
        return FileErrorCause::badPath;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return FileErrorCause::accessDenied;
    case ENOENT:
        return writing ? FileErrorCause::badPath : FileErrorCause::fileNotFound;
    default:
        return FileErrorCause::generic;
    }

    switch (qtError) {
    case QFileDevice::NoError:
        return FileErrorCause::none;
    case QFileDevice::PermissionsError:
        return FileErrorCause::accessDenied;
    case QFileDevice::ResourceError:
        // Qt reports a full disk while writing and too many open files while opening this way.
        return writing ? FileErrorCause::diskFull : FileErrorCause::tooManyOpenFiles;
    case QFileDevice::ReadError:
        return FileErrorCause::hardIO;
    default:
        return FileErrorCause::generic;
    }
}

QString FileErrorText(FileErrorCause cause, const QString &path)
{
    QString text;
    switch (cause) {
    case FileErrorCause::none:
        return QString();
    case FileErrorCause::generic:
        text = Tr("An unknown error occurred while accessing %1.");
        break;
    case FileErrorCause::fileNotFound:
        text = Tr("%1 was not found.");
        break;
    case FileErrorCause::badPath:
        text = Tr("%1 contains an invalid path.");
        break;
    case FileErrorCause::tooManyOpenFiles:
        text = Tr("%1 could not be opened because there are too many open files.");
        break;
    case FileErrorCause::accessDenied:
        text = Tr("Access to %1 was denied.");
        break;
    case FileErrorCause::invalidFile:
        text = Tr("An invalid file handle was associated with %1.");
        break;
    case FileErrorCause::directoryFull:
        text = Tr("%1 could not be created because the directory is full.");
        break;
    case FileErrorCause::hardIO:
        text = Tr("A hardware I/O error was reported while accessing %1.");
        break;
    case FileErrorCause::sharingViolation:
        text = Tr("A sharing violation occurred while accessing %1.");
        break;
    case FileErrorCause::lockViolation:
        text = Tr("A locking violation occurred while accessing %1.");
        break;
    case FileErrorCause::diskFull:
        text = Tr("Disk full while accessing %1.");
        break;
    case FileErrorCause::endOfFile:
        text = Tr("An attempt was made to access %1 past its end.");
        break;
    }
    return text.arg(QDir::toNativeSeparators(path));
}

CWriteResult WriteWholeFile(const QString &path, const std::function<bool(QIODevice &)> &write)
{
    CWriteResult result;
    const auto fail = [&](CWriteResult::Status status, int systemError, const QFileDevice &file) {
        result.status = status;
        result.cause = ClassifyFileError(path, systemError, file.error(), true);
        result.detail = file.errorString();
        return result;
    };

    const QFileInfo info(path);
    QSaveFile file(path);
    // Only regular files: a folder or a device at the path is not ours to replace.
    if (path.isEmpty() || (info.exists() && !info.isFile())) {
        result.status = CWriteResult::Status::notCreated;
        result.cause = ClassifyFileError(path, 0, QFileDevice::OpenError, true);
        return result;
    }
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return fail(CWriteResult::Status::notCreated, errno, file);

    try {
        errno = 0;
        if (!write(file)) {
            file.cancelWriting();
            result.status = CWriteResult::Status::notWritten;
            return result;
        }
    } catch (const CArchiveWriteError &) {
        const int systemError = errno;
        fail(CWriteResult::Status::notWritten, systemError, file);
        file.cancelWriting();
        return result;
    }
    errno = 0;
    // commit() can report success after a short write that only the final flush meets (a
    // full disk, a file size limit) and put the cut file in place, so the flush comes first.
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        const int systemError = errno;
        fail(CWriteResult::Status::notWritten, systemError, file);
        file.cancelWriting();
        return result;
    }
    if (!file.commit())
        return fail(CWriteResult::Status::notWritten, errno, file);
    return result;
}

} // namespace quorvel
