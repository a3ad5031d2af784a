#pragma once
// The words the game may build a company's name from: one bit of the company's first-word or
// second-word set per word, each shown on the company form as a check box captioned with it.

#include <array>
#include <cstdint>

namespace quorvel {

struct NamePart
{
    std::uint32_t m_bit;
    int m_checkBoxId;
    const char *m_word;
};

inline constexpr int kNamePartCount = 13;
using NamePartTable = std::array<NamePart, kNamePartCount>;

// The one first word that stands for the company's specific word.
inline constexpr std::uint32_t kSpecificWordBit = 0x0800;

inline constexpr NamePartTable g_firstWordParts = {{
    {0x0001, 1089, "Ebony"},
    {0x0002, 1092, "Silver"},
    {0x0004, 1093, "Ivory"},
    {0x0008, 1094, "Indigo"},
    {0x0010, 1095, "Sapphire"},
    {0x0020, 1096, "Emerald"},
    {0x0040, 1097, "Golden"},
    {0x0080, 1098, "Amber"},
    {0x0100, 1099, "Bronze"},
    {0x0200, 1100, "Burgundy"},
    {0x0400, 1101, "Scarlet"},
    {0x0800, 1102, "(Specific)"},
    {0x1000, 1103, "(Town name)"},
}};

inline constexpr NamePartTable g_secondWordParts = {{
    {0x0001, 1090, "Transport"},
    {0x0002, 1104, "Express"},
    {0x0004, 1105, "Lines"},
    {0x0008, 1106, "Tracks"},
    {0x0010, 1107, "Coaches"},
    {0x0020, 1108, "Air"},
    {0x0040, 1109, "Rail"},
    {0x0080, 1110, "Carts"},
    {0x0100, 1111, "Trains"},
    {0x0200, 1112, "Haulage"},
    {0x0400, 1113, "Shipping"},
    {0x0800, 1114, "Freight"},
    {0x1000, 1115, "Trucks"},
}};

// The row with that bit, or null.
constexpr const NamePart *FindNamePart(const NamePartTable &table, std::uint32_t bit)
{
    for (const NamePart &part : table) {
        if (part.m_bit == bit)
            return &part;
    }
    return nullptr;
}

} // namespace quorvel
