#pragma once
// Exact nearest-palette search for the image library's own use (the palette and the reduction).

#include "image/Palette.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace quorvel {

// RGB space is cut into cubes; each cube keeps, in ascending index order, every matchable entry
// that can be nearest (or tie for nearest) to some colour inside it. Scanning those with a strict
// "<" therefore gives the same index, ties included, as scanning the whole matchable range, but
// looks at fewer than three entries on average instead of 235.
class CNearestColourGrid
{
public:
    static constexpr int CellShift = 3;
    static constexpr int CellSide = 1 << CellShift;
    static constexpr int CellsPerAxis = 256 / CellSide;
    static constexpr int CellCount = CellsPerAxis * CellsPerAxis * CellsPerAxis;

    // Built once, thread-safely, on first use.
    static const CNearestColourGrid &Instance();

    std::uint8_t Nearest(const CRgbTriple &colour) const
    {
        const int cell = ((colour.red >> CellShift) * CellsPerAxis + (colour.green >> CellShift)) * CellsPerAxis
                         + (colour.blue >> CellShift);
        const std::uint32_t packed = m_cells[std::size_t(cell)];
        const std::uint8_t *candidate = m_candidates.data() + (packed & 0xFFFFFFu);
        const std::uint8_t *const end = candidate + (packed >> 24);
        std::uint8_t bestIndex = *candidate;
        if (candidate + 1 == end)
            return bestIndex;
        std::uint32_t bestDistance = std::numeric_limits<std::uint32_t>::max();
        for (; candidate != end; ++candidate) {
            const std::uint32_t distance = GamePalette[*candidate].SquaredDistance(colour);
            if (distance < bestDistance) {
                bestDistance = distance;
                bestIndex = *candidate;
            }
        }
        return bestIndex;
    }

private:
    CNearestColourGrid();

    std::vector<std::uint32_t> m_cells;      // per cube: candidate count << 24 | first candidate
    std::vector<std::uint8_t> m_candidates;
};

} // namespace quorvel
