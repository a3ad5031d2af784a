#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <filesystem>

#ifdef Q_OS_WIN
#include <io.h>
#include <string>
#include <windows.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quorvel {

#ifdef Q_OS_WIN

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
    if (error == ERROR_ACCESS_DENIED)
        *systemError = EACCES;
    else if (error == ERROR_DISK_FULL)
        *systemError = ENOSPC;
    return MoveOutcome::failed;
}

void SyncToDisk(QFileDevice &file)
{
    if (file.handle() >= 0)
        _commit(file.handle());
}

void ListFolder(const QString &folder, const std::function<bool(const CFolderEntry &)> &visit)
{
    QString pattern = QDir::toNativeSeparators(folder);
    if (!pattern.endsWith(u'\\'))
        pattern += u'\\';
    pattern += u'*';
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileExW(reinterpret_cast<const wchar_t *>(pattern.utf16()),
                                         FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return;
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

void SyncToDisk(QFileDevice &file)
{
    if (file.handle() >= 0)
        ::fsync(file.handle());
}

void ListFolder(const QString &folder, const std::function<bool(const CFolderEntry &)> &visit)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator it(fs::path(QFile::encodeName(folder).toStdString()), error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        CFolderEntry entry;
        entry.name = QFile::decodeName(it->path().filename().native().c_str());
        // The type comes with the listing; only links cost a look at what they point to.
        std::error_code typeError;
        entry.directory = it->is_directory(typeError);
        entry.special = !entry.directory && !it->is_regular_file(typeError);
        entry.hidden = entry.name.startsWith(u'.');
        if (!visit(entry))
            break;
    }
}

#endif

} // namespace quorvel
