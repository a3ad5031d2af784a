#include "tools/ToolFiles.h"

#include "company/CompanyFile.h"
#include "company/ObjectLayout.h"
#include "platform/Archive.h"
#include "platform/FileCommit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace quorvel::tool {
namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("quorvel-tool", text);
}

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The editor's text for a file error; fallback and Qt's words when the cause is unknown.
QString ErrorText(const QString &path, FileErrorCause cause, const char *fallback,
                  const QString &detail)
{
    if (cause != FileErrorCause::none)
        return FileErrorText(cause, path);
    return QStringLiteral("%1: %2 (%3)").arg(Native(path), Tr(fallback), detail);
}

} // namespace

bool ReadCompanyFile(const QString &path, CCompanyRecord &record, QString *error,
                     std::uint32_t *checksum)
{
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("%1: %2 (%3)").arg(Native(path), Tr("Failed to open document."),
                                                   Tr("is a folder"));
        return false;
    }
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        const int systemError = errno;
        *error = ErrorText(path, ClassifyFileError(path, systemError, file.error(), false),
                           "Failed to open document.", file.errorString());
        return false;
    }
    // The header is looked at before the reader consumes it, so pipes work as well.
    const std::optional<CObjectHeader> header = PeekObjectHeader(file);
    try {
        CArchive archive(&file, CArchive::load);
        ReadCompany(archive, record);
    } catch (const CArchiveException &) {
        *error = QStringLiteral("%1: %2").arg(Native(path), Tr("Unexpected file format."));
        return false;
    }
    // The reader needs the whole header, so an accepted file always has one.
    if (checksum && header)
        *checksum = header->m_checksum;
    return true;
}

bool WriteFileWhole(const QString &path, const std::function<bool(QIODevice &, QString *)> &write,
                    QString *error, ExistingFile existing, bool *pathTaken)
{
    QString why;
    const CWriteResult result = WriteWholeFile(
        path, [&](QIODevice &device) { return write(device, &why); }, existing);
    if (pathTaken)
        *pathTaken = result.status == CWriteResult::Status::pathTaken;
    switch (result.status) {
    case CWriteResult::Status::written:
        return true;
    case CWriteResult::Status::pathTaken:
        *error = FileErrorText(FileErrorCause::accessDenied, path);
        return false;
    case CWriteResult::Status::notCreated:
        *error = ErrorText(path, result.cause, "Invalid filename.", result.detail);
        return false;
    case CWriteResult::Status::notWritten:
        break;
    }
    // The command's own reason when it gave up; else what the file system said.
    *error = !why.isEmpty() ? QStringLiteral("%1: %2").arg(Native(path), why)
                            : ErrorText(path, result.cause, "Failed to save document.",
                                        result.detail);
    return false;
}

bool WriteCompanyFile(const QString &path, CCompanyRecord &record, bool modified,
                      QString *error, ExistingFile existing, bool *pathTaken)
{
    return WriteFileWhole(
        path,
        [&](QIODevice &device, QString *why) {
            try {
                CArchive archive(&device, CArchive::store);
                WriteCompany(archive, record, modified);
            } catch (const CArchiveWriteError &) {
                *why = QStringLiteral("%1 (%2)").arg(Tr("Failed to save document."),
                                                     device.errorString());
                return false;
            }
            return true;
        },
        error, existing, pathTaken);
}

QString ShownPath(const QString &path)
{
    return Native(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

} // namespace quorvel::tool
