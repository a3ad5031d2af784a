#include "image/Exif.h"

#include <cstring>

namespace quorvel {

namespace {

// The block is a TIFF file in small: "II" (least significant byte first) or "MM" (most
// significant first), 42, and the offset of the first image directory from the block's start.
// A directory is a count of 2 bytes and that many entries of 12: tag (2), type (2), count (4)
// and the value itself when it fits 4 bytes, else its offset.
constexpr std::uint16_t OrientationTag = 0x0112;
constexpr std::uint16_t ShortType = 3;
constexpr std::uint16_t LongType = 4;
constexpr std::size_t EntrySize = 12;

class CTiffBytes
{
public:
    CTiffBytes(const std::uint8_t *data, std::size_t size, bool bigEndian)
        : m_data(data), m_size(size), m_bigEndian(bigEndian)
    {
    }

    // False when the bytes are not all inside the block.
    bool Get16(std::size_t at, std::uint32_t &value) const { return Get(at, 2, value); }
    bool Get32(std::size_t at, std::uint32_t &value) const { return Get(at, 4, value); }

private:
    bool Get(std::size_t at, std::size_t bytes, std::uint32_t &value) const
    {
        if (at > m_size || m_size - at < bytes)
            return false;
        value = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            const std::uint32_t byte = m_data[at + (m_bigEndian ? i : bytes - 1 - i)];
            value = (value << 8) | byte;
        }
        return true;
    }

    const std::uint8_t *m_data;
    std::size_t m_size;
    bool m_bigEndian;
};

} // namespace

EOrientation ExifOrientation(const std::uint8_t *data, std::size_t size)
{
    if (!data)
        return EOrientation::Upright;
    if (size >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0) {
        data += 6;
        size -= 6;
    }
    if (size < 8)
        return EOrientation::Upright;
    bool bigEndian = false;
    if (data[0] == 'M' && data[1] == 'M')
        bigEndian = true;
    else if (data[0] != 'I' || data[1] != 'I')
        return EOrientation::Upright;
    const CTiffBytes bytes(data, size, bigEndian);
    std::uint32_t magic = 0, directory = 0, entries = 0;
    if (!bytes.Get16(2, magic) || magic != 42 || !bytes.Get32(4, directory)
        || !bytes.Get16(directory, entries))
        return EOrientation::Upright;
    // Only the entries that lie inside the block are looked at, however many the count says.
    const std::size_t first = std::size_t(directory) + 2;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t at = first + std::size_t(i) * EntrySize;
        std::uint32_t tag = 0, type = 0, count = 0, value = 0;
        if (!bytes.Get16(at, tag) || !bytes.Get16(at + 2, type) || !bytes.Get32(at + 4, count))
            break;
        if (tag != OrientationTag)
            continue;
        if (count != 1)
            return EOrientation::Upright;
        // A short sits in the first two bytes of the value field, whatever the byte order.
        if (type == ShortType ? !bytes.Get16(at + 8, value)
                              : type != LongType || !bytes.Get32(at + 8, value))
            return EOrientation::Upright;
        return OrientationFromExif(int(value <= 8 ? value : 0));
    }
    return EOrientation::Upright;
}

} // namespace quorvel
