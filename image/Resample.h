#pragma once
// Area-averaging resampler: the one way pictures are scaled, for faces and for their previews.

#include "image/Palette.h"

#include <cstdint>
#include <vector>

namespace quorvel {

// Scales the rectangle (x, y, width, height) of a source picture onto a whole target buffer.
// Every target pixel is the average of the source area it covers, pixels cut by the area's edges
// weighted by the part covered; weights are exact fractions and the result is rounded to the
// nearest value (halves up). The rectangle is first cut to the picture, so only picture pixels
// count; when nothing of it lies inside (or it has no area) the target is filled with black.
// Reads each source row of the rectangle once and keeps only one row of sums beside the target.
void ResampleArea(const CRgbTriple *source, int sourceWidth, int sourceHeight,
                  int x, int y, int width, int height,
                  CRgbTriple *target, int targetWidth, int targetHeight);

// ResampleArea fed one source row at a time, so that a picture being decoded need never be
// held whole. The rows FirstRow() to EndRow() - 1 must be given in order, each once; the target
// is complete after the last. Each row is a whole picture row (sourceWidth pixels).
class CAreaResampler
{
public:
    CAreaResampler(int sourceWidth, int sourceHeight, int x, int y, int width, int height,
                   CRgbTriple *target, int targetWidth, int targetHeight);

    int FirstRow() const { return m_top; }
    int EndRow() const { return m_bottom; }
    void AddRow(int y, const CRgbTriple *row);

    // Where one target pixel lies along one axis (see Resample.cpp).
    struct CSpan
    {
        int first = 0; // first source pixel touched, relative to the cut rectangle
        int last = 0;  // last source pixel touched
        std::uint64_t firstWeight = 0;
        std::uint64_t lastWeight = 0; // unused when first == last
    };

private:
    int m_left = 0;
    int m_top = 0;
    int m_bottom = 0; // m_top when no row is wanted
    CRgbTriple *m_out = nullptr;
    std::vector<CSpan> m_columns;
    std::vector<CSpan> m_rows;
    std::uint64_t m_columnUnits = 0;
    std::uint64_t m_rowUnits = 0;
    std::uint64_t m_area = 0;
    std::size_t m_nextTargetRow = 0;
    std::vector<std::uint64_t> m_rowSums;
    std::vector<std::uint64_t> m_acc;
};

// The unscaled copy of a block of a source picture, fed one source row at a time like
// CAreaResampler: the target is the block whose top left corner lies at (x, y); whatever of it
// lies off the picture is left as it was.
class CBlockCopier
{
public:
    CBlockCopier(int sourceWidth, int sourceHeight, int x, int y, CRgbTriple *target,
                 int targetWidth, int targetHeight);

    int FirstRow() const { return m_top; }
    int EndRow() const { return m_bottom; }
    void AddRow(int y, const CRgbTriple *row);

private:
    int m_x = 0;
    int m_y = 0;
    int m_left = 0;
    int m_right = 0;
    int m_top = 0;
    int m_bottom = 0;
    CRgbTriple *m_target = nullptr;
    int m_targetWidth = 0;
};

} // namespace quorvel
