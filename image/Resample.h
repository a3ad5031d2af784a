#pragma once
// Area-averaging resampler: the one way pictures are scaled, for faces and for their previews.

#include "image/Palette.h"

#include <cstdint>
#include <span>
#include <vector>

namespace quorvel {

// Scales the rectangle (x, y, width, height) of a source picture onto a whole target buffer.
// Every target pixel is the average of the source area it covers, pixels cut by the area's edges
// weighted by the part covered; weights are exact fractions and the result is rounded to the
// nearest value (halves up). The rectangle is first cut to the picture, so only picture pixels
// count; when nothing of it lies inside (or it has no area) the target is filled with black.
// Reads each source row of the rectangle once and keeps a few rows of sums beside the target.
void ResampleArea(const CRgbTriple *source, int sourceWidth, int sourceHeight,
                  int x, int y, int width, int height,
                  CRgbTriple *target, int targetWidth, int targetHeight);

// One picture an area resampler fills: width x height pixels, rows top to bottom.
struct CResampleTarget
{
    CRgbTriple *pixels = nullptr;
    int width = 0;
    int height = 0;
};

// ResampleArea onto several targets at once from the same rectangle (a face's two sizes):
// each source row is read once for all of them, and each target gets exactly the pixels
// ResampleArea gives it alone.
void ResampleArea(const CRgbTriple *source, int sourceWidth, int sourceHeight,
                  int x, int y, int width, int height, std::span<const CResampleTarget> targets);

// ResampleArea fed one source row at a time, so that a picture being decoded need never be
// held whole. The rows FirstRow() to EndRow() - 1 must be given in order, each once; the targets
// are complete after the last. Each row is a whole picture row (sourceWidth pixels).
//
// Runs of rows that every target takes whole into one of its rows are first added up column by
// column, a cheap vertical sum, and spread across the target columns once per run; only the
// rows that straddle a target row are spread one by one. The integer sums are the same either
// way, so the result does not depend on it.
class CAreaResampler
{
public:
    CAreaResampler(int sourceWidth, int sourceHeight, int x, int y, int width, int height,
                   CRgbTriple *target, int targetWidth, int targetHeight);
    CAreaResampler(int sourceWidth, int sourceHeight, int x, int y, int width, int height,
                   std::span<const CResampleTarget> targets);

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
    struct CTarget
    {
        CRgbTriple *out = nullptr;
        std::vector<CSpan> columns;
        std::vector<CSpan> rows;
        // Per column, where its first and its last pixel stand among the resampler's marks.
        std::vector<int> columnMarks;
        std::uint64_t columnUnits = 0; // a source pixel's width in the column spans' units
        std::uint64_t rowUnits = 0;    // a source row's height in the row spans' units
        std::uint64_t area = 0;        // a target pixel's area in column units x row units
        std::size_t nextRow = 0;       // the first target row not yet complete
        std::vector<std::uint64_t> rowSums;
        std::vector<std::uint64_t> acc;
    };

    void AddRowToTargets(int k, const CRgbTriple *row);
    // One past the last row of the run of whole rows that starts at row k (relative to the cut
    // rectangle); k itself when row k is no whole row of some target.
    int WholeRunEnd(int k) const;
    void EndRun(int k);
    // Every target's column sums of one row of values, three per pixel: a source row's bytes,
    // or the column sums of a run. One pass over the row serves all targets.
    template<class Value>
    void SumColumns(const Value *values);
    static void AddWeighted(CTarget &target, std::uint64_t weight);
    static void EmitRow(CTarget &target);

    int m_left = 0;
    int m_top = 0;
    int m_bottom = 0; // m_top when no row is wanted
    std::vector<CTarget> m_targets;
    // Column sums of the run of whole rows under way, three per pixel of the cut rectangle.
    std::vector<std::uint16_t> m_columnSums;
    // The pixel positions at which SumColumns notes a row's running sums, and those sums.
    std::vector<int> m_marks;
    std::vector<std::uint64_t> m_runningSums;
    int m_runRows = 0;
    int m_runEnd = 0;
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
