#pragma once
// Area-averaging resampler: the one way pictures are scaled, for faces and for their previews.

#include "image/Palette.h"

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

} // namespace quorvel
