#include "tools/ToolImages.h"
#include "tools/ToolFiles.h"

#include "image/PaletteImage.h"
#include "image/RgbImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

namespace quorvel::tool {
namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("quorvel-tool", text);
}

} // namespace

std::unique_ptr<CRgbImage> LoadPictureFile(const QString &path, QString *error)
{
    const QFileInfo info(path);
    const QString shown = QDir::toNativeSeparators(path);
    if (!info.exists()) {
        *error = Tr("%1 was not found.").arg(shown);
        return nullptr;
    }
    if (info.isDir()) {
        *error = Tr("%1: is a folder, not a picture.").arg(shown);
        return nullptr;
    }
    {
        // Tell an unreadable file from one that is no picture.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = file.error() == QFileDevice::PermissionsError
                         ? Tr("Access to %1 was denied.").arg(shown)
                         : QStringLiteral("%1: %2").arg(shown, file.errorString());
            return nullptr;
        }
    }
    std::unique_ptr<CRgbImage> image;
    try {
        image = std::make_unique<CRgbImage>(path);
    } catch (const std::bad_alloc &) {
        *error = Tr("%1: not enough memory for the picture.").arg(shown);
        return nullptr;
    }
    if (!image->IsLoaded()) {
        *error = Tr("%1: the picture could not be read whole (BMP, PPM, JPEG or PNG expected).")
                     .arg(shown);
        return nullptr;
    }
    return image;
}

QImage PaletteQImage(const std::uint8_t *indices, int width, int height)
{
    QImage image(indices, width, height, width, QImage::Format_Indexed8);
    image.setColorTable(GamePaletteColorTable());
    return image;
}

bool WriteIndexedPng(const QString &path, const QImage &image, QString *error)
{
    return WriteFileWhole(
        path,
        [&image](QIODevice &device, QString *why) {
            QImageWriter writer(&device, "png");
            // Quick deflate: the pictures are dithered, so harder work buys little.
            writer.setQuality(80);
            if (!writer.write(image)) {
                *why = Tr("Failed to save the picture (%1).").arg(writer.errorString());
                return false;
            }
            return true;
        },
        error);
}

} // namespace quorvel::tool
