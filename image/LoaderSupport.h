#pragma once
// What the picture loaders share among themselves; not for their callers.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace quorvel::loaders {

// The file name alone, for log lines.
QString Shown(const QString &path);

// False (logged, with what was being read) for a size below 1 x 1 or above maxPixels pixels.
bool SizeAcceptable(std::int64_t width, std::int64_t height, std::int64_t maxPixels,
                    const char *what);

// size bytes at offset, least significant first; the caller makes sure they are there.
std::uint32_t LittleEndian(const QByteArray &bytes, int offset, int size);

} // namespace quorvel::loaders
