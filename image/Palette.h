#pragma once
// The game's fixed 256-colour palette and the three-byte colour that pixel buffers are made of.

#include <array>
#include <cstdint>

namespace quorvel {

// One colour, red first. Pixel buffers are packed arrays of these, so it must stay three bytes.
struct CRgbTriple
{
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    constexpr CRgbTriple() = default;
    constexpr CRgbTriple(std::uint8_t r, std::uint8_t g, std::uint8_t b) : red(r), green(g), blue(b) {}

    // Red in bits 0-7, green in 8-15, blue in 16-23, the top byte zero.
    constexpr std::uint32_t ToColorRef() const
    {
        return std::uint32_t(red) | (std::uint32_t(green) << 8) | (std::uint32_t(blue) << 16);
    }
    // The reverse of ToColorRef; the top byte is ignored.
    static constexpr CRgbTriple FromColorRef(std::uint32_t value)
    {
        return CRgbTriple(std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16));
    }

    constexpr std::uint32_t SquaredDistance(const CRgbTriple &other) const
    {
        const int dr = int(red) - int(other.red);
        const int dg = int(green) - int(other.green);
        const int db = int(blue) - int(other.blue);
        return std::uint32_t(dr * dr + dg * dg + db * db);
    }

    friend constexpr bool operator==(const CRgbTriple &, const CRgbTriple &) = default;
};
static_assert(sizeof(CRgbTriple) == 3, "pixel buffers rely on packed three-byte colours");

// Colour matching only ever picks from this range; the rest are reserved by the game.
inline constexpr int FirstMatchableIndex = 10;
inline constexpr int LastMatchableIndex = 244;

extern const std::array<CRgbTriple, 256> GamePalette;

// Only the low eight bits of the index count.
inline const CRgbTriple &PaletteEntry(int index)
{
    return GamePalette[std::size_t(index & 0xFF)];
}

// The matchable entry (10-244) nearest to the colour by squared distance; ties go to the lowest index.
std::uint8_t NearestPaletteIndex(const CRgbTriple &colour);

// Builds the lookup behind NearestPaletteIndex and the reduction to the palette, which is
// otherwise built by their first use, so that a thread with nothing else to do can.
void PrepareNearestColours();

} // namespace quorvel
