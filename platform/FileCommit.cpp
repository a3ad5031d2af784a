#include "platform/FileCommit.h"

#include "platform/Archive.h"
#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <memory>
#include <optional>

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

namespace {

CWriteResult Failure(CWriteResult::Status status, const QString &path, int systemError,
                     const QFileDevice &file)
{
    CWriteResult result;
    result.status = status;
    result.cause = ClassifyFileError(path, systemError, file.error(), true);
    result.detail = file.errorString();
    return result;
}

// Runs write() and then the final flush; the failure, or nothing when every byte went out.
std::optional<CWriteResult> Fill(QFileDevice &file, const QString &path,
                                 const std::function<bool(QIODevice &)> &write)
{
    try {
        errno = 0;
        if (!write(file)) {
            CWriteResult result;
            result.status = CWriteResult::Status::notWritten;
            return result;
        }
    } catch (const CArchiveWriteError &) {
        return Failure(CWriteResult::Status::notWritten, path, errno, file);
    }
    errno = 0;
    // A short write that only the final flush meets (a full disk, a file size limit) must
    // not count as written.
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return Failure(CWriteResult::Status::notWritten, path, errno, file);
    return std::nullopt;
}

CWriteResult WriteReplacing(const QString &path, const std::function<bool(QIODevice &)> &write)
{
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return Failure(CWriteResult::Status::notCreated, path, errno, file);
    if (const auto failure = Fill(file, path, write)) {
        file.cancelWriting();
        return *failure;
    }
    if (!file.commit())
        return Failure(CWriteResult::Status::notWritten, path, errno, file);
    return {};
}

// A name beside the target's, hidden where names can hide, that is most likely free.
QString SiblingName(const QString &target)
{
    const QFileInfo info(target);
    return info.dir().filePath(QStringLiteral(".%1.%2").arg(
        info.fileName(), QString::number(QRandomGenerator::global()->generate(), 36)));
}

// The temporary file beside the target: removed unless it was given the target's name.
class CTemporarySibling
{
public:
    ~CTemporarySibling()
    {
        if (!m_file.fileName().isEmpty() && !m_kept) {
            m_file.close();
            m_file.remove();
        }
    }

    // A new file in the target's folder under a name of its own, hidden where names can hide.
    bool Create(const QString &target)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            m_file.setFileName(SiblingName(target));
            errno = 0;
            if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                return true;
            m_systemError = errno;
            if (!QFileInfo::exists(m_file.fileName()))
                break; // not a clash of names: the folder refuses new files
        }
        return false;
    }

    QFile &File() { return m_file; }
    int SystemError() const { return m_systemError; }
    void Keep() { m_kept = true; }

private:
    QFile m_file;
    int m_systemError = 0;
    bool m_kept = false;
};

CWriteResult WriteKeeping(const QString &path, const std::function<bool(QIODevice &)> &write)
{
    CWriteResult taken;
    taken.status = CWriteResult::Status::pathTaken;
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        return taken;

    CTemporarySibling temporary;
    QFile &file = temporary.File();
    if (!temporary.Create(path))
        return Failure(CWriteResult::Status::notCreated, path, temporary.SystemError(), file);
    if (const auto failure = Fill(file, path, write))
        return *failure;
    SyncToDisk(file);
    file.close();
    if (file.error() != QFileDevice::NoError)
        return Failure(CWriteResult::Status::notWritten, path, errno, file);

    int systemError = 0;
    switch (MoveWithoutReplacing(file.fileName(), path, &systemError)) {
    case MoveOutcome::moved:
        temporary.Keep();
        return {};
    case MoveOutcome::targetExists:
        return taken;
    case MoveOutcome::failed:
        break;
    }
    return Failure(CWriteResult::Status::notWritten, path, systemError, file);
}

// A file of a set, filled under a temporary name, and where what had its name went meanwhile.
struct CStagedFile
{
    CTemporarySibling temporary;
    QString aside;      // what stood at the path, moved here while the set takes its names
    bool placed = false; // the temporary has the path's name
};

// Puts every staged file back as it was before the set took its names.
void Undo(const std::vector<CFileToWrite> &files, std::vector<std::unique_ptr<CStagedFile>> &staged)
{
    int ignored = 0;
    for (std::size_t i = staged.size(); i-- > 0;) {
        CStagedFile &file = *staged[i];
        if (file.placed) {
            QFile::remove(files[i].path);
            file.placed = false;
        }
        if (!file.aside.isEmpty())
            MoveWithoutReplacing(file.aside, files[i].path, &ignored);
    }
}

// Gives the staged file its path's name, moving aside what has it; false when that fails.
bool Place(const QString &path, CStagedFile &file, int *systemError)
{
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        MoveOutcome moved = MoveOutcome::targetExists;
        for (int attempt = 0; attempt < 100 && moved == MoveOutcome::targetExists; ++attempt) {
            file.aside = SiblingName(path);
            moved = MoveWithoutReplacing(path, file.aside, systemError);
        }
        if (moved != MoveOutcome::moved) {
            file.aside.clear();
            return false;
        }
    }
    if (MoveWithoutReplacing(file.temporary.File().fileName(), path, systemError)
        != MoveOutcome::moved)
        return false;
    file.temporary.Keep();
    file.placed = true;
    return true;
}

} // namespace

CWriteResult WriteWholeFiles(const std::vector<CFileToWrite> &files, std::size_t *failed)
{
    std::vector<std::unique_ptr<CStagedFile>> staged;
    const auto failure = [&](CWriteResult result) {
        if (failed)
            *failed = staged.size();
        return result;
    };
    for (const CFileToWrite &file : files) {
        const QFileInfo info(file.path);
        // Only regular files: a folder or a device at the path is not ours to replace, and
        // neither is a file its owner made read-only (QSaveFile refuses that one too).
        if (file.path.isEmpty() || (info.exists() && (!info.isFile() || !info.isWritable()))) {
            CWriteResult result;
            result.status = CWriteResult::Status::notCreated;
            result.cause = ClassifyFileError(file.path, 0, QFileDevice::OpenError, true);
            return failure(result);
        }
        auto stage = std::make_unique<CStagedFile>();
        QFile &device = stage->temporary.File();
        if (!stage->temporary.Create(file.path))
            return failure(Failure(CWriteResult::Status::notCreated, file.path,
                                   stage->temporary.SystemError(), device));
        if (const auto filled = Fill(device, file.path, file.write))
            return failure(*filled);
        SyncToDisk(device);
        device.close();
        if (device.error() != QFileDevice::NoError)
            return failure(Failure(CWriteResult::Status::notWritten, file.path, errno, device));
        staged.push_back(std::move(stage));
    }
    // Every file is written; what had their names is kept aside until all have them.
    for (std::size_t i = 0; i < files.size(); ++i) {
        int systemError = 0;
        if (!Place(files[i].path, *staged[i], &systemError)) {
            Undo(files, staged);
            if (failed)
                *failed = i;
            return Failure(CWriteResult::Status::notWritten, files[i].path, systemError,
                           staged[i]->temporary.File());
        }
    }
    for (const std::unique_ptr<CStagedFile> &file : staged) {
        if (!file->aside.isEmpty())
            QFile::remove(file->aside);
    }
    return {};
}

CWriteResult WriteWholeFile(const QString &path, const std::function<bool(QIODevice &)> &write,
                            ExistingFile existing)
{
    const QFileInfo info(path);
    // Only regular files: a folder or a device at the path is not ours to replace.
    if (path.isEmpty() || (existing == ExistingFile::replace && info.exists() && !info.isFile())) {
        CWriteResult result;
        result.status = CWriteResult::Status::notCreated;
        result.cause = ClassifyFileError(path, 0, QFileDevice::OpenError, true);
        return result;
    }
    return existing == ExistingFile::replace ? WriteReplacing(path, write)
                                             : WriteKeeping(path, write);
}

} // namespace quorvel
