#pragma once
// The face detector's scan of one large pyramid level in bands of feature rows, for
// FaceDetector.cpp only: dlib's scanner holds a level's whole HOG features (and, while it makes
// them, a histogram half as large again), about 7 MB for the finest level of a 1024-pixel copy.

#include <dlib/image_processing/scan_fhog_pyramid.h>

#include <utility>
#include <vector>

namespace quorvel {

using CFhogBank = dlib::scan_fhog_pyramid<dlib::pyramid_down<6>>::fhog_filterbank;
using CFhogHits = std::vector<std::pair<double, dlib::rectangle>>;

// The scanner's geometry, in cells: its filters' rows and columns and its detection box's.
struct CFhogWindow
{
    long filterRows = 0;
    long filterColumns = 0;
    long boxRows = 0;
    long boxColumns = 0;
    int cellSize = 0;
};

// The feature rows a detection may be centred on, as dlib's scanner scans a one-level pyramid
// of the picture: first to end; none when end <= first.
void FhogScanRows(const dlib::array2d<unsigned char> &picture, const CFhogWindow &window,
                  long &first, long &end);

// What dlib's scanner finds on a one-level pyramid of the picture with each bank, at least
// its threshold, for the detections centred on feature rows first to end: the same scores and
// rectangles in the same order as its detect before it sorts them, appended to hits[bank].
// Only bandRows rows of features and the rows the filters need around them are held at once.
void ScanFhogBands(const dlib::array2d<unsigned char> &picture, const CFhogWindow &window,
                   const std::vector<CFhogBank> &banks, const std::vector<double> &thresholds,
                   long first, long end, long bandRows, std::vector<CFhogHits> &hits);

} // namespace quorvel
