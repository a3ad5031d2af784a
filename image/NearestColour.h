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
        return NearestIn(m_cells.data(), m_candidates.data(), colour);
    }

    // The same, for callers that keep the two tables at hand across many colours.
    static std::uint8_t NearestIn(const std::uint32_t *cells, const std::uint8_t *candidates,
                                  const CRgbTriple &colour)
    {
        const int cell = ((colour.red >> CellShift) * CellsPerAxis + (colour.green >> CellShift)) * CellsPerAxis
                         + (colour.blue >> CellShift);
        const std::uint32_t packed = cells[cell];
        const std::uint8_t *candidate = candidates + (packed & 0xFFFFFFu);
        const std::uint8_t *const end = candidate + (packed >> 24);
        // Distance above, index below: the smallest key is the nearest entry and, among equally
        // near ones, the lowest index, just as a scan in index order with a strict "<" finds.
        std::uint32_t best = std::numeric_limits<std::uint32_t>::max();
        do {
            const std::uint32_t key = (GamePalette[*candidate].SquaredDistance(colour) << 8) | *candidate;
            best = key < best ? key : best;
        } while (++candidate != end);
        return std::uint8_t(best);
    }

    const std::uint32_t *Cells() const { return m_cells.data(); }
    const std::uint8_t *Candidates() const { return m_candidates.data(); }

private:
    CNearestColourGrid();

    std::vector<std::uint32_t> m_cells;      // per cube: candidate count << 24 | first candidate
    std::vector<std::uint8_t> m_candidates;
};

} // namespace quorvel
