#include "image/PalettePng.h"

#include "image/Palette.h"

#include <QByteArray>
#include <QIODevice>

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace quorvel {

namespace {

void PutBigEndian(QByteArray &bytes, std::uint32_t value)
{
    bytes.append(char(value >> 24)).append(char(value >> 16)).append(char(value >> 8)).append(char(value));
}

// One chunk: length, type, data, and the CRC of type and data.
bool WriteChunk(QIODevice &device, const char *type, const char *data, std::size_t size)
{
    QByteArray chunk;
    chunk.reserve(qsizetype(size) + 12);
    PutBigEndian(chunk, std::uint32_t(size));
    chunk.append(type, 4).append(data, qsizetype(size));
    PutBigEndian(chunk, std::uint32_t(crc32(0, reinterpret_cast<const Bytef *>(chunk.constData() + 4),
                                            uInt(size + 4))));
    return device.write(chunk) == chunk.size();
}

} // namespace

// The PNG is put together here rather than by Qt's writer, which offers no choice of deflate
// strategy: dithered indices hold few repeats worth finding, and Huffman coding alone packs
// them within a few per cent of what matching does, in half the time.
bool WritePalettePng(QIODevice &device, const std::uint8_t *indices, int width, int height)
{
    static const char signature[] = "\x89PNG\r\n\x1a\n";
    if (width < 1 || height < 1 || device.write(signature, 8) != 8)
        return false;
    QByteArray header;
    PutBigEndian(header, std::uint32_t(width));
    PutBigEndian(header, std::uint32_t(height));
    header.append(char(8)).append(char(3)).append(char(0)).append(char(0)).append(char(0)); // 8-bit palette
    QByteArray palette;
    for (const CRgbTriple &entry : GamePalette)
        palette.append(char(entry.red)).append(char(entry.green)).append(char(entry.blue));
    if (!WriteChunk(device, "IHDR", header.constData(), std::size_t(header.size()))
        || !WriteChunk(device, "PLTE", palette.constData(), std::size_t(palette.size())))
        return false;

    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY) != Z_OK)
        return false;
    std::vector<Bytef> row(std::size_t(width) + 1, 0); // filter type 0, then the indices
    std::vector<Bytef> compressed(std::size_t(1) << 16);
    bool ok = true;
    for (int y = 0; ok && y <= height; ++y) {
        const bool last = y == height;
        if (!last)
            std::copy_n(indices + std::size_t(y) * std::size_t(width), std::size_t(width), row.begin() + 1);
        stream.next_in = row.data();
        stream.avail_in = last ? 0 : uInt(row.size());
        int status = Z_OK;
        do {
            stream.next_out = compressed.data();
            stream.avail_out = uInt(compressed.size());
            status = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            const std::size_t produced = compressed.size() - stream.avail_out;
            if (status == Z_STREAM_ERROR
                || (produced > 0 && !WriteChunk(device, "IDAT", reinterpret_cast<const char *>(compressed.data()), produced)))
                ok = false;
        } while (ok && (stream.avail_out == 0 || (last && status != Z_STREAM_END)));
    }
    deflateEnd(&stream);
    return ok && WriteChunk(device, "IEND", nullptr, 0);
}

} // namespace quorvel
