#include "tools/ToolImages.h"
#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"

#include "image/FaceCutter.h"
#include "image/Loaders.h"
#include "image/PalettePng.h"
#include "image/RgbImage.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace quorvel::tool {

bool CheckPictureFile(const QString &path, QString *error)
{
    QFile file(path);
    return OpenInputFile(file, error);
}

QString PictureUnreadable(const QString &path, const CLoadReport &report)
{
    return FileMessage(path, PictureProblemText(path, report));
}

std::unique_ptr<CRgbImage> LoadPictureFile(const QString &path, QString *error)
{
    if (!CheckPictureFile(path, error))
        return nullptr;
    std::unique_ptr<CRgbImage> image;
    try {
        image = std::make_unique<CRgbImage>(path);
    } catch (const std::bad_alloc &) {
        *error = FileMessage(path, Tr("not enough memory for the picture."));
        return nullptr;
    }
    if (!image->IsLoaded()) {
        *error = PictureUnreadable(path, image->LoadReport());
        return nullptr;
    }
    return image;
}

std::unique_ptr<CFaceCutter> OpenFaceCutter(const QString &path, QString *error)
{
    if (!CheckPictureFile(path, error))
        return nullptr;
    std::unique_ptr<CFaceCutter> cutter;
    try {
        cutter = std::make_unique<CFaceCutter>(path);
    } catch (const std::bad_alloc &) {
        *error = FileMessage(path, Tr("not enough memory for the picture."));
        return nullptr;
    }
    if (!cutter->IsOpen()) {
        *error = PictureUnreadable(path, cutter->Report());
        return nullptr;
    }
    return cutter;
}

bool WriteIndexedPng(const QString &path, const std::uint8_t *indices, int width, int height,
                     QString *error)
{
    return WriteFileWhole(
        path,
        [&](QIODevice &device, QString *why) {
            if (WritePalettePng(device, indices, width, height))
                return true;
            *why = Tr("Failed to save the picture (%1).").arg(device.errorString());
            return false;
        },
        error);
}

} // namespace quorvel::tool
