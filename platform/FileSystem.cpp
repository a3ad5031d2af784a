#include "platform/FileSystem.h"

#include "platform/Logging.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <filesystem>

#ifdef Q_OS_WIN
#include <io.h>
#include <string>
#include <windows.h>
#else
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quorvel {

#ifdef Q_OS_WIN

namespace {

// The C library's number for a Windows error code, for the causes that have a message.
int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_QUOTA_EXCEEDED:
        return ENOSPC;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    default:
        return 0;
    }
}

} // namespace

MoveOutcome MoveWithoutReplacing(const QString &from, const QString &to, int *systemError)
{
    *systemError = 0;
    const std::wstring source = QDir::toNativeSeparators(from).toStdWString();
    const std::wstring target = QDir::toNativeSeparators(to).toStdWString();
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
        return MoveOutcome::moved;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return MoveOutcome::targetExists;
    *systemError = ErrnoOf(error);
    return MoveOutcome::failed;
}

bool MoveReplacing(const QString &from, const QString &to, int *systemError)
{
    *systemError = 0;
    const std::wstring source = QDir::toNativeSeparators(from).toStdWString();
    const std::wstring target = QDir::toNativeSeparators(to).toStdWString();
    if (MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *systemError = ErrnoOf(GetLastError());
    return false;
}

bool SyncToDisk(QFileDevice &file, int *systemError)
{
    *systemError = 0;
    if (file.handle() < 0 || _commit(file.handle()) == 0)
        return true;
    *systemError = errno;
    return errno == EBADF || errno == EINVAL; // nothing to sync with
}

bool SyncFolder(const QString &, int *systemError)
{
    // MOVEFILE_WRITE_THROUGH has written the new name already.
    *systemError = 0;
    return true;
}

int LastSystemError()
{
    const int error = ErrnoOf(GetLastError());
    return error != 0 ? error : errno;
}

void GuardStandardStreams()
{
}

void FailWritesPastSizeLimit()
{
}

std::optional<QByteArray> FindUnnamableArgument(int, char **)
{
    // Qt takes the arguments from the UTF-16 command line, which loses nothing.
    return std::nullopt;
}

bool ListFolder(const QString &folder, const std::function<bool(const CFolderEntry &)> &visit,
                int *systemError)
{
    QString pattern = QDir::toNativeSeparators(folder);
    if (!pattern.endsWith(u'\\'))
        pattern += u'\\';
    pattern += u'*';
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileExW(reinterpret_cast<const wchar_t *>(pattern.utf16()),
                                         FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        if (systemError)
            *systemError = ErrnoOf(GetLastError());
        return false;
    }
    do {
        CFolderEntry entry;
        entry.name = QString::fromWCharArray(data.cFileName);
        if (entry.name == u"." || entry.name == u"..")
            continue;
        const DWORD attributes = data.dwFileAttributes;
        entry.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        entry.system = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
        entry.temporary = (attributes & FILE_ATTRIBUTE_TEMPORARY) != 0;
        entry.compressed = (attributes & FILE_ATTRIBUTE_COMPRESSED) != 0;
        if (!visit(entry))
            break;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return true;
}

#else

namespace {

bool CannotHere(int error)
{
    return error == EINVAL || error == ENOSYS || error == EPERM || error == EOPNOTSUPP
           || error == EXDEV || error == EMLINK;
}

} // namespace

MoveOutcome MoveWithoutReplacing(const QString &from, const QString &to, int *systemError)
{
    *systemError = 0;
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
#if defined(Q_OS_LINUX) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0)
        return MoveOutcome::moved;
    if (errno == EEXIST)
        return MoveOutcome::targetExists;
    if (!CannotHere(errno)) {
        *systemError = errno;
        return MoveOutcome::failed;
    }
#endif
    // A hard link never replaces either; the temporary name then goes.
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return MoveOutcome::moved;
    }
    if (errno == EEXIST)
        return MoveOutcome::targetExists;
    if (!CannotHere(errno)) {
        *systemError = errno;
        return MoveOutcome::failed;
    }
    // No links on this file system (FAT, some shares): an empty file takes the name first,
    // which only one writer can create, and the finished file goes over that one.
    const int placeholder = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (placeholder < 0) {
        if (errno == EEXIST)
            return MoveOutcome::targetExists;
        *systemError = errno;
        return MoveOutcome::failed;
    }
    ::close(placeholder);
    if (::rename(source.constData(), target.constData()) == 0)
        return MoveOutcome::moved;
    *systemError = errno;
    ::unlink(target.constData());
    return MoveOutcome::failed;
}

bool MoveReplacing(const QString &from, const QString &to, int *systemError)
{
    *systemError = 0;
    // rename() replaces a link itself, never the file it points to.
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *systemError = errno;
    return false;
}

namespace {

// What a file system that cannot sync answers; the bytes are then as safe as it makes them.
bool CannotSync(int error)
{
    return error == EINVAL || error == EROFS || error == ENOTSUP || error == EOPNOTSUPP;
}

} // namespace

bool SyncToDisk(QFileDevice &file, int *systemError)
{
    *systemError = 0;
    if (file.handle() < 0 || ::fsync(file.handle()) == 0 || CannotSync(errno))
        return true;
    *systemError = errno;
    return false;
}

bool SyncFolder(const QString &folder, int *systemError)
{
    *systemError = 0;
    const int fd = ::open(QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder)
                              .constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true; // a folder we may not open for reading is synced by the system alone
    const bool synced = ::fsync(fd) == 0 || CannotSync(errno) || errno == EBADF;
    if (!synced)
        *systemError = errno;
    ::close(fd);
    return synced;
}

int LastSystemError()
{
    return errno;
}

void GuardStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // Read-only, so that writing to the stand-in fails as writing to no stream would.
        const int standIn = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (standIn >= 0 && standIn != fd) {
            ::dup2(standIn, fd);
            ::close(standIn);
        }
    }
}

void FailWritesPastSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

std::optional<QByteArray> FindUnnamableArgument(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        if (QString::fromLocal8Bit(bytes).toLocal8Bit() != bytes)
            return bytes;
    }
    return std::nullopt;
}

bool ListFolder(const QString &folder, const std::function<bool(const CFolderEntry &)> &visit,
                int *systemError)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator it(fs::path(QFile::encodeName(folder).toStdString()), error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        CFolderEntry entry;
        const std::string native = it->path().filename().native();
        entry.name = QFile::decodeName(QByteArray::fromStdString(native));
        if (QFile::encodeName(entry.name) != QByteArray::fromStdString(native)) {
            qCDebug(lcPlatform) << "left out" << entry.name << "in" << folder
                             << ": its name is not valid UTF-8";
            continue;
        }
        // The type comes with the listing; only links cost a look at what they point to.
        std::error_code typeError;
        entry.directory = it->is_directory(typeError);
        entry.special = !entry.directory && !it->is_regular_file(typeError);
        entry.hidden = entry.name.startsWith(u'.');
        if (!visit(entry))
            return true;
    }
    if (error && systemError)
        *systemError = error.value();
    return !error;
}

#endif

} // namespace quorvel
