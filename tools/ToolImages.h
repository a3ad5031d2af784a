#pragma once
// Pictures for the commands: loading with the editor's loaders, writing palette PNGs.

#include "image/Loaders.h"

#include <QString>

#include <cstdint>
#include <memory>

class QIODevice;

namespace quorvel {
class CFaceCutter;
class CRgbImage;
}

namespace quorvel::tool {

// Loads a picture with the editor's loaders (chosen by extension, as the grab dialog does).
// A picture that no loader reads whole is refused: null, with *error a one-line message.
std::unique_ptr<CRgbImage> LoadPictureFile(const QString &path, QString *error);

// Opens a picture to cut faces from, JPEG pictures without loading them whole; refused as
// LoadPictureFile refuses, with the same messages.
std::unique_ptr<CFaceCutter> OpenFaceCutter(const QString &path, QString *error);

// The picture format a file's name promises by its extension; Unknown for other names.
EPictureFormat PictureFormatOfName(const QString &path);

// The message for a picture that no loader reads whole: what the name promised and, when the
// file's first bytes say so, what it holds instead.
QString PictureUnreadable(const QString &path);

// Writes width x height palette indices, rows top to bottom, to a device as an 8-bit indexed
// PNG whose colour table is the whole game palette; false when the device fails.
bool WritePalettePng(QIODevice &device, const std::uint8_t *indices, int width, int height);

// Writes width x height palette indices, rows top to bottom, as an 8-bit indexed PNG whose colour
// table is the whole game palette; whole or not at all.
bool WriteIndexedPng(const QString &path, const std::uint8_t *indices, int width, int height,
                     QString *error);

} // namespace quorvel::tool
