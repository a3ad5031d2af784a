#include "company/ObjectLayout.h"

#include <QIODevice>

#include <cstring>

namespace quorvel {

CObjectHeader CObjectHeader::FromBytes(const std::uint8_t *bytes)
{
    CObjectHeader header;
    header.m_kind = bytes[kObjectKindOffset];
    std::memcpy(header.m_dateStamp.data(), bytes + kObjectStampOffset, 3);
    std::memcpy(header.m_objectName.data(), bytes + kObjectNameOffset, kObjectNameSize);
    header.m_checksum = GetU32(bytes + kObjectChecksumOffset);
    return header;
}

bool CObjectHeader::IsCompany() const
{
    return m_kind == kCompanyKindByte && std::memcmp(m_objectName.data(), "COMP", 4) == 0;
}

std::optional<CObjectHeader> PeekObjectHeader(QIODevice &device)
{
    std::uint8_t bytes[kObjectHeaderSize];
    if (device.peek(reinterpret_cast<char *>(bytes), kObjectHeaderSize) != kObjectHeaderSize)
        return std::nullopt;
    return CObjectHeader::FromBytes(bytes);
}

} // namespace quorvel
