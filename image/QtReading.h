#pragma once
// Pictures decoded by Qt's image readers (bitmaps, GIF, TIFF, WebP, ...), for their loaders.

#include "image/LoadReport.h"
#include "image/Orientation.h"

#include <QImage>

#include <cstdint>

class QImageReader;

namespace quorvel {
class CRgbImage;
}

namespace quorvel::loaders {

// Reads the picture: its size, where the reader tells it, is checked against maxPixels before
// anything is decoded, and Qt's own allocation limit is set to the same bound for readers that
// tell none. Failures are recorded against format.
bool ReadWithQt(CRgbImage &image, QImageReader &reader, std::int64_t maxPixels,
                EPictureFormat format);

// Copies a decoded picture's colours into the image, turned upright as orientation says and
// converted to sRGB from the colour profile Qt's reader found; alpha, where there is any, is
// ignored.
bool TakePicture(CRgbImage &image, QImage picture, std::int64_t maxPixels, EPictureFormat format,
                 EOrientation orientation);

} // namespace quorvel::loaders
