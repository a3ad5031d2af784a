#pragma once
// What the picture loaders share among themselves; not for their callers.

#include "image/LoadReport.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace quorvel {
class CRgbImage;
}

namespace quorvel::loaders {

// The file name alone, for log lines.
QString Shown(const QString &path);

// False (logged, with what was being read) for a size below 1 x 1 or above maxPixels pixels.
bool SizeAcceptable(std::int64_t width, std::int64_t height, std::int64_t maxPixels,
                    const char *what);

// Records why a loader that recognised its kind of file could not read it; false. Nothing is
// recorded for an Unknown format: a loader that is not sure what the file is says nothing.
bool Refuse(CRgbImage &image, EPictureFormat format, ELoadProblem problem,
            const QString &detail = QString());

// SizeAcceptable for a header the loader has recognised: a refused size is recorded, as too
// large or (an empty picture) as damaged.
bool CheckSize(CRgbImage &image, EPictureFormat format, std::int64_t width, std::int64_t height,
               std::int64_t maxPixels);

// CRgbImage::Reset after CheckSize: a buffer that cannot be had is recorded as out of memory.
bool ResetPicture(CRgbImage &image, EPictureFormat format, int width, int height,
                  std::int64_t maxPixels);

// Records a whole picture of the format: a success after any failed attempt.
bool Succeed(CRgbImage &image, EPictureFormat format);

// size bytes at offset, least significant first; the caller makes sure they are there.
std::uint32_t LittleEndian(const QByteArray &bytes, int offset, int size);

} // namespace quorvel::loaders
