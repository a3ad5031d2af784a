#pragma once
// Palette pictures as PNG files: what `quorvel-tool faces` writes and the editor's faces are
// saved and copied as.

#include <cstdint>

class QIODevice;

namespace quorvel {

// Writes width x height palette indices, rows top to bottom, to a device as an 8-bit indexed
// PNG whose colour table is the whole game palette; false when the device fails.
bool WritePalettePng(QIODevice &device, const std::uint8_t *indices, int width, int height);

} // namespace quorvel
