#pragma once
// JPEG files with an EXIF block, written byte by byte, for the orientation tests.

#include <QByteArray>

#include <cstdint>

namespace quorvel::test {

// A TIFF block of one directory holding the orientation tag, in either byte order.
inline QByteArray ExifBlock(int orientation, bool bigEndian)
{
    QByteArray block;
    const auto put = [&block, bigEndian](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
            block.append(char((value >> shift) & 0xFF));
        }
    };
    block.append(bigEndian ? "MM" : "II");
    put(42, 2);
    put(8, 4);            // the first directory follows the header
    put(1, 2);            // one entry
    put(0x0112, 2);       // orientation
    put(3, 2);            // a short
    put(1, 4);            // one of them
    put(std::uint32_t(orientation), 2);
    put(0, 2);            // the rest of the value field
    put(0, 4);            // no next directory
    return block;
}

// The JPEG with an APP1 segment holding "Exif\0\0" and the block put right after its start.
inline QByteArray WithExif(const QByteArray &jpeg, const QByteArray &block)
{
    const QByteArray payload = QByteArray("Exif\0\0", 6) + block;
    const int length = int(payload.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char(length >> 8)).append(char(length & 0xFF));
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

} // namespace quorvel::test
