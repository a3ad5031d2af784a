#pragma once
// The one EXIF tag the loaders use: the orientation in the first image directory.

#include "image/Orientation.h"

#include <cstddef>
#include <cstdint>

namespace quorvel {

// The orientation that an EXIF block gives: a TIFF header and its directories, as a PNG eXIf
// or WebP EXIF chunk holds them, or a JPEG's APP1 payload with its "Exif\0\0" in front. Upright
// when there is no orientation tag or it is malformed or out of range. Nothing outside the
// size bytes at data is read, whatever the block's offsets and counts say.
EOrientation ExifOrientation(const std::uint8_t *data, std::size_t size);

} // namespace quorvel
