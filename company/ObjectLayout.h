#pragma once
// Where things stand in a company object file, the little-endian helpers that read and write
// them, and the object header that every reader looks at first. The whole layout is described
// in CompanyFile.cpp above the reader and writer.

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <optional>

class QIODevice;

namespace quorvel {

constexpr int kObjectHeaderSize = 16;
constexpr int kObjectKindOffset = 0;
constexpr int kObjectStampOffset = 1;
constexpr int kObjectNameOffset = 4;
constexpr int kObjectNameSize = 8;
constexpr int kObjectChecksumOffset = 12;
constexpr int kEncodingOffset = 16;
constexpr int kDataLengthOffset = 17;
constexpr int kCompanyDataOffset = 21;
constexpr int kCompanyDataSize = 56;
// The first string table (owner name) starts with its language byte here.
constexpr int kOwnerTableOffset = kCompanyDataOffset + kCompanyDataSize; // 77

// The kind byte the writer puts in every company; the reader refuses this one and above.
constexpr std::uint8_t kCompanyKindByte = 0x20;
constexpr std::uint8_t kFirstRejectedKindByte = 0x80;
constexpr std::uint8_t kStringEndByte = 0xFF;
// No company holds a string this long (the editor keeps 253 bytes, the catalogue shows 1023
// characters): a string table whose NUL does not come within this many bytes is refused
// rather than read to the end of a file of any size.
constexpr int kMaxStringTableText = 64 * 1024;
// Image entries: u32 pixel offset into the image data, u16 width, u16 height, 4 u16 reserved.
constexpr int kImageEntrySize = 16;
constexpr int kImageEntryWidthOffset = 4;
constexpr int kImageEntryHeightOffset = 6;

inline std::uint16_t GetU16(const std::uint8_t *p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}

inline std::uint32_t GetU32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
           | (std::uint32_t(p[3]) << 24);
}

inline void PutU16(std::uint8_t *p, std::uint16_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

inline void PutU32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

// The first 16 bytes of an object file.
struct CObjectHeader
{
    std::uint8_t m_kind = 0;
    std::array<std::uint8_t, 3> m_dateStamp{};
    std::array<char, kObjectNameSize> m_objectName{};
    std::uint32_t m_checksum = 0;

    static CObjectHeader FromBytes(const std::uint8_t *bytes);

    // What the catalogue takes for a company: the kind byte 0x20 and an object name that
    // starts with "COMP". The reader is more lenient (any kind below 0x80, any name).
    bool IsCompany() const;
};

// The header at the device's current position, without consuming it, so a reader can still
// take the file from its start (pipes too); nothing when fewer than 16 bytes are there.
std::optional<CObjectHeader> PeekObjectHeader(QIODevice &device);

} // namespace quorvel
