#include "image/FaceBands.h"

#include <dlib/image_transforms.h>

#include <algorithm>
#include <cstring>

namespace quorvel {

namespace {

// dlib's HOG layout for a picture of rows pixel rows: the histogram's cells, the feature rows
// made of them (the edge cells give none) and where feature row 0 stands among the feature
// image's rows, whose padding rows are zero.
long CellRows(long rows, int cellSize)
{
    return long(float(rows) / float(cellSize) + 0.5f);
}

long HogRows(long rows, int cellSize)
{
    return std::max(CellRows(rows, cellSize) - 2, 0L);
}

// A cell's histogram takes votes from the pixels half a cell around it, their gradients from
// a pixel further, and feature row k is made from cells k to k + 2. A cut of the picture makes
// no gradient on its first and last pixel rows, so its feature rows from the second on, up to
// the third last, are the whole picture's.
constexpr long kCutAbove = 1, kCutBelow = 3; // cells

// Feature rows [hogFirst, hogEnd) of the whole picture into rows [at, ...) of window.
void MakeRows(const dlib::array2d<unsigned char> &picture, const CFhogWindow &window,
              long hogFirst, long hogEnd, dlib::array<dlib::array2d<float>> &target, long at)
{
    const long cell = window.cellSize;
    const long firstCell = std::max(0L, hogFirst - kCutAbove); // the cut's first cell
    const long top = firstCell * cell;
    const long bottom = std::min(picture.nr(), (hogEnd + kCutBelow) * cell);
    const auto cut = dlib::sub_image(picture, dlib::rectangle(0, top, picture.nc() - 1, bottom - 1));
    // Without the padding, which target has already.
    dlib::array<dlib::array2d<float>> hog;
    dlib::extract_fhog_features(cut, hog, window.cellSize, 1, 1);
    const long left = (window.filterColumns - 1) / 2;
    // The cut's feature row k is the picture's firstCell + k.
    for (unsigned long plane = 0; plane < hog.size(); ++plane) {
        for (long row = hogFirst; row < hogEnd; ++row)
            std::memcpy(&target[plane][at + row - hogFirst][left], &hog[plane][row - firstCell][0],
                        std::size_t(hog[plane].nc()) * sizeof(float));
    }
}

} // namespace

void FhogScanRows(const dlib::array2d<unsigned char> &picture, const CFhogWindow &window,
                  long &first, long &end)
{
    // The rows on which the filters lie wholly inside the feature image.
    const long rows = HogRows(picture.nr(), window.cellSize) + window.filterRows - 1;
    first = window.filterRows / 2;
    end = rows - (window.filterRows - 1) / 2;
    if (HogRows(picture.nr(), window.cellSize) == 0 || HogRows(picture.nc(), window.cellSize) == 0)
        end = first; // dlib makes no features, so finds nothing
}

void ScanFhogBands(const dlib::array2d<unsigned char> &picture, const CFhogWindow &window,
                   const std::vector<CFhogBank> &banks, const std::vector<double> &thresholds,
                   long first, long end, long bandRows, std::vector<CFhogHits> &hits)
{
    hits.resize(banks.size());
    if (end <= first)
        return;
    const long hogRows = HogRows(picture.nr(), window.cellSize);
    const long columns = HogRows(picture.nc(), window.cellSize) + window.filterColumns - 1;
    const long above = window.filterRows / 2, below = (window.filterRows - 1) / 2;
    const long padding = (window.filterRows - 1) / 2; // feature row 0's row in the image
    const long left = (window.filterColumns - 1) / 2;  // and feature column 0's
    const long right = columns - left - HogRows(picture.nc(), window.cellSize);
    const long bands = (end - first + bandRows - 1) / bandRows;
    const unsigned long planes = dlib::default_fhog_feature_extractor().get_num_planes();
    dlib::array<dlib::array2d<float>> held(planes), next(planes);
    long heldFirst = 0, heldEnd = 0; // the feature image's rows held, from the band before
    dlib::array2d<float> saliency;
    for (long band = 0; band < bands; ++band) {
        // Equal bands, so that the last is not a sliver that needs all the filters' rows.
        const long bandFirst = first + (end - first) * band / bands;
        const long bandEnd = first + (end - first) * (band + 1) / bands;
        const long rowsFirst = bandFirst - above, rowsEnd = bandEnd + below;
        // Rows the band before made are moved up; the others are made from the picture, but
        // for the padding around the features, zero.
        const long made = std::max(rowsFirst, heldEnd);
        const long hogFirst = std::max(0L, made - padding);
        const long hogEnd = std::min(hogRows, rowsEnd - padding);
        for (unsigned long plane = 0; plane < planes; ++plane) {
            next[plane].set_size(rowsEnd - rowsFirst, columns);
            for (long row = rowsFirst; row < made; ++row)
                std::memcpy(&next[plane][row - rowsFirst][0], &held[plane][row - heldFirst][0],
                            std::size_t(columns) * sizeof(float));
            held[plane].clear(); // moved up, or no longer needed
            for (long row = made; row < rowsEnd; ++row) {
                float *values = &next[plane][row - rowsFirst][0];
                if (row - padding >= hogFirst && row - padding < hogEnd) {
                    std::fill(values, values + left, 0.0f);
                    std::fill(values + columns - right, values + columns, 0.0f);
                } else {
                    std::fill(values, values + columns, 0.0f);
                }
            }
        }
        if (hogFirst < hogEnd)
            MakeRows(picture, window, hogFirst, hogEnd, next, hogFirst + padding - rowsFirst);
        held.swap(next);
        heldFirst = rowsFirst;
        heldEnd = rowsEnd;
        for (std::size_t i = 0; i < banks.size(); ++i) {
            const dlib::rectangle area = dlib::impl::apply_filters_to_fhog(banks[i], held, saliency);
            for (long r = area.top(); r <= area.bottom(); ++r) {
                for (long c = area.left(); c <= area.right(); ++c) {
                    if (saliency[r][c] >= thresholds[i]) {
                        const dlib::rectangle box = dlib::centered_rect(
                            dlib::point(c, r + rowsFirst), window.boxColumns, window.boxRows);
                        hits[i].push_back({saliency[r][c],
                                           dlib::fhog_to_image(box, window.cellSize,
                                                               int(window.filterRows),
                                                               int(window.filterColumns))});
                    }
                }
            }
        }
    }
}

} // namespace quorvel
