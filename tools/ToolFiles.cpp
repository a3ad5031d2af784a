#include "tools/ToolFiles.h"

#include "company/CompanyFile.h"
#include "company/ObjectLayout.h"
#include "platform/Archive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

// The editor's file-error texts, chosen from what Qt reports; fallback when none fits.
QString FileErrorText(const QString &path, const QFileDevice &file, bool forWriting,
                      const char *fallback)
{
    const QFileInfo info(path);
    const QString shown = Native(path);
    if (!forWriting && !info.exists())
        return Tr("%1 was not found.").arg(shown);
    if (forWriting && !info.absoluteDir().exists())
        return Tr("%1 contains an invalid path.").arg(shown);
    const bool denied = forWriting ? !QFileInfo(info.absolutePath()).isWritable()
                                   : !info.isReadable();
    if (denied || file.error() == QFileDevice::PermissionsError)
        return Tr("Access to %1 was denied.").arg(shown);
    if (file.error() == QFileDevice::ResourceError)
        return Tr("Disk full while accessing %1.").arg(shown);
    return QStringLiteral("%1: %2 (%3)").arg(shown, Tr(fallback), file.errorString());
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
    if (!file.open(QIODevice::ReadOnly)) {
        *error = FileErrorText(path, file, false, "Failed to open document.");
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
                    QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = FileErrorText(path, file, true, "Invalid filename.");
        return false;
    }
    QString why;
    if (!write(file, &why)) {
        file.cancelWriting();
        *error = QStringLiteral("%1: %2").arg(Native(path), why);
        return false;
    }
    // commit() can report success after a short write that only the final flush meets (a
    // full disk, a file size limit) and put the cut file in place, so the flush comes first.
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        *error = FileErrorText(path, file, true, "Failed to save document.");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = FileErrorText(path, file, true, "Failed to save document.");
        return false;
    }
    return true;
}

bool WriteCompanyFile(const QString &path, CCompanyRecord &record, bool modified,
                      QString *error)
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
        error);
}

} // namespace quorvel::tool
