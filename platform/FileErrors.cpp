#include "platform/FileErrors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace quorvel {

namespace {

// The texts keep the framework's translation context.
QString Tr(const char *text)
{
    return QCoreApplication::translate("quorvel::CDocument", text);
}

} // namespace

FileErrorCause CauseOfSystemError(int systemError, bool writing)
{
    switch (systemError) {
    case 0:
        return FileErrorCause::none;
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

}

FileErrorCause ClassifyFileError(const QString &path, int systemError,
                                 QFileDevice::FileError qtError, bool writing)
{
    if (path.isEmpty())
        return FileErrorCause::none;
    // A name decoded with loss names no file, or another one: say so rather than "not found".
    if (!CanBeNamed(path) && !QFileInfo::exists(path))
        return FileErrorCause::unnamable;

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

    if (const FileErrorCause cause = CauseOfSystemError(systemError, writing);
        cause != FileErrorCause::none)
        return cause;

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
    case FileErrorCause::unnamable:
        text = Tr("The name of %1 is not valid UTF-8; rename it.");
        break;
    }
    return text.arg(QDir::toNativeSeparators(path));
}

bool CanBeNamed(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true; // Windows names are UTF-16, as Qt's strings are
#else
    return !path.contains(QChar::ReplacementCharacter);
#endif
}

} // namespace quorvel
