#pragma once
// Reduction of true-colour pixels to the game palette: error diffusion along a Hilbert curve.

#include "image/Palette.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace quorvel {

class CNearestColourGrid;

class CHilbertDither
{
public:
    enum Direction { DIR_NONE = 0, DIR_UP = 1, DIR_LEFT = 2, DIR_DOWN = 3, DIR_RIGHT = 4 };

    // source holds width x height pixels, rows top to bottom; it is not copied and must outlive
    // the reduction. A width or height of 0 (or less) gives an empty result.
    CHilbertDither(const CRgbTriple *source, int width, int height);

    void ReduceToPalette();
    // The palette indices, one per pixel; leaves the object empty.
    std::vector<std::uint8_t> TakeResult();

    // Weight i is round(256^(i/15)): the newest of the 16 queued errors counts most.
    static const std::array<int, 16> &DitherWeights();
    static int ClampByte(int value);
    // How often value can be halved before it is 1 or less; 0 for 1 and below.
    static int FloorLog2(int value);

    // The picture cells (column, row) in the order the reduction visits them, from the from-th
    // on (a second thread takes up the far half of a large picture there).
    static std::vector<std::pair<int, int>> VisitOrder(int width, int height, std::int64_t from = 0);

private:
    // A second reduction over the far half of the same picture, writing into out.
    CHilbertDither(const CRgbTriple *source, int width, int height, std::uint8_t *out);

    template <typename Visit> void Walk(int level, Direction direction, Visit &visit);
    template <typename Visit> void Move(Direction direction, Visit &visit);
    template <typename Visit> void WalkWholeCurve(Visit &visit);
    void ReduceAlone();
    bool ReduceInTwo();
    // Reduces a run of pixels, given by position, in curve order. When checking, each result is
    // compared with what m_out already holds; the run ends early, returning how many pixels it
    // took, once 16 results in a row agreed.
    template <bool Checking> std::size_t DitherRun(const std::ptrdiff_t *positions, std::size_t count);
    std::uint8_t DitherPixel(const CRgbTriple &pixel);

    int m_x = 0;
    int m_y = 0;
    int m_width = 0;
    int m_height = 0;
    std::ptrdiff_t m_pos = 0; // m_y * m_width + m_x; wide, because the curve may run far outside
    const CRgbTriple *m_source = nullptr;
    std::vector<std::uint8_t> m_dest;
    // The errors of the last 16 pixels reduced, per component (red, green, blue), oldest first.
    std::array<std::array<std::int16_t, 16>, 3> m_errors{};
    const CNearestColourGrid *m_nearest = nullptr;
    std::uint8_t *m_out = nullptr;      // m_dest's buffer, or the one a second reduction shares
    std::int64_t m_skipPixels = 0;      // picture pixels the walk passes before it visits any
    bool m_stopWalk = false;            // ends the walk early
    int m_agreeing = 0;                 // results in a row that matched while checking
};

// Reduces a whole picture; the result has width x height indices.
std::vector<std::uint8_t> ReduceToPalette(const CRgbTriple *source, int width, int height);

} // namespace quorvel
