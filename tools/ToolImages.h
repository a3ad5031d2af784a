#pragma once
// Pictures for the commands: loading with the editor's loaders, writing palette PNGs.

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>

namespace quorvel {
class CRgbImage;
}

namespace quorvel::tool {

// Loads a picture with the editor's loaders (chosen by extension, as the grab dialog does).
// A picture that no loader reads whole is refused: null, with *error a one-line message.
std::unique_ptr<CRgbImage> LoadPictureFile(const QString &path, QString *error);

// The indices as an 8-bit picture whose colour table is the whole game palette; the buffer is
// not copied and must outlive the picture.
QImage PaletteQImage(const std::uint8_t *indices, int width, int height);

// Writes an 8-bit indexed PNG, whole or not at all.
bool WriteIndexedPng(const QString &path, const QImage &image, QString *error);

} // namespace quorvel::tool
