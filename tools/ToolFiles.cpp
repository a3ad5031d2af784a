#include "tools/ToolFiles.h"
#include "tools/ToolCommand.h"

#include "company/CompanyFile.h"
#include "company/ObjectLayout.h"
#include "platform/Archive.h"
#include "platform/FileCommit.h"
#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace quorvel::tool {
namespace {

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Both paths name one existing file, however each is spelt.
bool SameFile(const QString &a, const QString &b)
{
    std::error_code error;
    return std::filesystem::equivalent(QFileInfo(a).filesystemFilePath(),
                                       QFileInfo(b).filesystemFilePath(), error)
           && !error;
}

// What went wrong with a file being written. A missing or unwritable folder is named itself,
// which tells the user what to mend better than the file's name would.
QString OutputProblem(const QString &path, FileErrorCause cause, const char *fallback,
                      const QString &detail)
{
    if (cause == FileErrorCause::unnamable)
        return FileMessage(path, UnnamableWords());
    const QFileInfo info(path);
    const QString folder = info.path();
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists())
        return FileMessage(path, FileErrorText(FileErrorCause::fileNotFound, folder));
    if (!folderInfo.isDir())
        return FileMessage(path, Tr("%1 is not a folder.").arg(Native(folder)));
    if (info.isDir())
        return FileMessage(path, Tr("is a folder, not a file."));
    const bool fileLocked = info.exists() && !info.isWritable();
    if (cause == FileErrorCause::accessDenied && !fileLocked && !folderInfo.isWritable())
        return FileMessage(path, FileErrorText(cause, folder));
    if (cause != FileErrorCause::none)
        return FileMessage(path, FileErrorText(cause, path));
    return FileMessage(path, QStringLiteral("%1 (%2)").arg(Tr(fallback), detail));
}

QString WriteFailure(const QString &path, const CWriteResult &result, const QString &why)
{
    switch (result.status) {
    case CWriteResult::Status::written:
        return QString();
    case CWriteResult::Status::pathTaken:
        return FileMessage(path, FileErrorText(FileErrorCause::accessDenied, path));
    case CWriteResult::Status::notCreated:
        return OutputProblem(path, result.cause, "Invalid filename.", result.detail);
    case CWriteResult::Status::notWritten:
        break;
    }
    // What the file system said, when it said something; else the command's own reason.
    return result.cause == FileErrorCause::none && !why.isEmpty()
               ? FileMessage(path, why)
               : OutputProblem(path, result.cause, "Failed to save document.", result.detail);
}

} // namespace

QString UnnamableWords()
{
    return Tr("the name of this file is not valid UTF-8; rename it.");
}

QString FileMessage(const QString &path, const QString &words)
{
    return QStringLiteral("%1: %2").arg(Native(path), words);
}

bool OpenInputFile(QFile &file, QString *error)
{
    const QString path = file.fileName();
    const QFileInfo info(path);
    if (info.isDir()) {
        *error = FileMessage(path, Tr("is a folder, not a file."));
        return false;
    }
    errno = 0;
    if (file.open(QIODevice::ReadOnly))
        return true;
    const int systemError = errno;
    // A file that is not there was not found, whether or not its folder is.
    const FileErrorCause cause = !info.exists()
                                     ? FileErrorCause::fileNotFound
                                     : ClassifyFileError(path, systemError, file.error(), false);
    *error = FileMessage(path, cause != FileErrorCause::none
                                   ? FileErrorText(cause, path)
                                   : QStringLiteral("%1 (%2)").arg(Tr("Failed to open document."),
                                                                   file.errorString()));
    return false;
}

bool ReadCompanyFile(const QString &path, CCompanyRecord &record, QString *error,
                     std::uint32_t *checksum)
{
    QFile file(path);
    if (!OpenInputFile(file, error))
        return false;
    // The header is looked at before the reader consumes it, so pipes work as well.
    const std::optional<CObjectHeader> header = PeekObjectHeader(file);
    try {
        CArchive archive(&file, CArchive::load);
        ReadCompany(archive, record);
    } catch (const CArchiveException &) {
        *error = FileMessage(path, Tr("Unexpected file format."));
        return false;
    }
    // The reader needs the whole header, so an accepted file always has one.
    if (checksum && header)
        *checksum = header->m_checksum;
    return true;
}

int RefuseOutputOverInput(const QString &output, const QStringList &inputs)
{
    for (const QString &input : inputs) {
        if (SameFile(output, input)) {
            PrintErr(FileMessage(output, Tr("is the same file as the input %1; choose another "
                                            "output.").arg(Native(input)))
                     + QLatin1Char('\n'));
            return kExitUsage;
        }
    }
    return -1;
}

bool WriteFileWhole(const QString &path, const std::function<bool(QIODevice &, QString *)> &write,
                    QString *error, ExistingFile existing, bool *pathTaken)
{
    QString why;
    const CWriteResult result = WriteWholeFile(
        path, [&](QIODevice &device) { return write(device, &why); }, existing);
    if (pathTaken)
        *pathTaken = result.status == CWriteResult::Status::pathTaken;
    if (result.Written())
        return true;
    *error = WriteFailure(path, result, why);
    return false;
}

bool WriteFilesWhole(const std::vector<CFileToWrite> &files, QString *error)
{
    std::size_t failed = 0;
    const CWriteResult result = WriteWholeFiles(files, &failed);
    if (result.Written())
        return true;
    *error = WriteFailure(files[failed].path, result, QString());
    return false;
}

bool WriteCompanyFile(const QString &path, const CCompanyRecord &record, bool modified,
                      QString *error, ExistingFile existing, bool *pathTaken)
{
    return WriteFileWhole(
        path,
        [&](QIODevice &device, QString *) {
            // A device that refuses the bytes throws; the write names the cause.
            CArchive archive(&device, CArchive::store);
            WriteCompany(archive, record, StampToWrite(record, modified));
            return true;
        },
        error, existing, pathTaken);
}

bool MakeFolder(const QString &folder, QStringList *made, QString *error)
{
    // The folders to make, deepest first, down from the nearest one that is there.
    QStringList missing;
    QString there = QDir::cleanPath(folder);
    while (!QFileInfo::exists(there) && !QFileInfo(there).isSymLink()) {
        missing.append(there);
        const QString parent = QFileInfo(there).path();
        if (parent == there)
            break;
        there = parent;
    }
    if (missing.isEmpty() && QFileInfo(folder).isDir())
        return true;
    if (!QFileInfo(there).isDir()) {
        *error = FileMessage(folder, there == QDir::cleanPath(folder)
                                         ? Tr("is not a folder.")
                                         : Tr("%1 is not a folder.").arg(Native(there)));
        return false;
    }
    if (!QDir().mkpath(folder)) {
        RemoveMadeFolders(missing);
        *error = FileMessage(folder, !QFileInfo(there).isWritable()
                                         ? FileErrorText(FileErrorCause::accessDenied, there)
                                         : Tr("the folder could not be made."));
        return false;
    }
    *made = missing;
    return true;
}

void RemoveMadeFolders(const QStringList &made)
{
    // Only empty folders go, so nothing that appeared in them meanwhile is lost.
    for (const QString &folder : made)
        QDir().rmdir(folder);
}

bool CheckFolderToList(const QString &folder, bool mustExist, QString *error)
{
    const QFileInfo info(folder);
    if (!info.exists() && !info.isSymLink()) {
        if (mustExist)
            *error = FileMessage(folder, FileErrorText(FileErrorCause::fileNotFound, folder));
        return !mustExist;
    }
    if (!info.isDir()) {
        *error = FileMessage(folder, Tr("is not a folder."));
        return false;
    }
    int systemError = 0;
    if (ListFolder(folder, [](const CFolderEntry &) { return false; }, &systemError))
        return true;
    FileErrorCause cause = CauseOfSystemError(systemError, false);
    if (cause == FileErrorCause::none)
        cause = FileErrorCause::generic;
    *error = FileMessage(folder, FileErrorText(cause, folder));
    return false;
}

QString ShownPath(const QString &path)
{
    return Native(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

} // namespace quorvel::tool
