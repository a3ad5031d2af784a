#pragma once
// How a picture is stored against how it is shown: the eight orientations of an EXIF tag, and
// turning stored rows, rectangles and whole pictures upright.

#include "image/Palette.h"

#include <cstdint>

namespace quorvel {

class CRgbImage;

// EXIF's values: how the stored picture is turned to be shown upright.
enum class EOrientation : std::uint8_t {
    Upright = 1,
    MirroredLeftRight = 2,
    Rotated180 = 3,
    MirroredTopBottom = 4,
    Transposed = 5,      // mirrored left-right, then turned 270 degrees clockwise
    RotatedClockwise = 6, // turned 90 degrees clockwise to be shown
    Transversed = 7,     // mirrored left-right, then turned 90 degrees clockwise
    RotatedCounterClockwise = 8,
};

// An EXIF orientation value; Upright for anything outside 1 to 8.
EOrientation OrientationFromExif(int value);

// The turn as three steps, stored to upright: swap the axes first (when transposed), then
// mirror left-right and top-bottom in the upright picture.
struct COrientationSteps
{
    bool transposed = false;
    bool mirrorX = false;
    bool mirrorY = false;
};
COrientationSteps StepsOf(EOrientation orientation);

inline bool SwapsAxes(EOrientation orientation)
{
    return StepsOf(orientation).transposed;
}

// A rectangle, corner and extent, that may have no area.
struct CPixelRect
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The stored picture's rectangle that the rectangle of the upright picture shows. The upright
// picture is uprightWidth x uprightHeight. A rectangle without area keeps its extents, swapped
// where the axes are.
CPixelRect StoredRect(EOrientation orientation, int uprightWidth, int uprightHeight,
                      const CPixelRect &upright);

// Writes the rows of a stored picture into an upright one, for decoders that hand out rows.
class CUprightWriter
{
public:
    // upright holds the upright picture of a storedWidth x storedHeight one.
    CUprightWriter(CRgbTriple *upright, int storedWidth, int storedHeight,
                   EOrientation orientation);

    // Stored rows first to first + count - 1.
    void PutRows(int first, int count, const CRgbTriple *const *rows);

    // How many stored rows to hand over at once for the writes to stay cheap: a few for a
    // picture that keeps its axes, more for one turned on its side, whose rows become columns.
    static int RowsPerBatch(int storedWidth, EOrientation orientation);

private:
    CRgbTriple *m_out;
    int m_width;  // stored
    int m_height; // stored
    COrientationSteps m_steps;
};

// Turns a whole picture upright in place; a turn that swaps the axes holds a second buffer of
// the picture's size while it lasts. False, the picture unchanged, when that cannot be had.
bool TurnUpright(CRgbImage &image, EOrientation orientation);

} // namespace quorvel
