#pragma once
// The rules of the face grab dialog that need no window: which rectangle of the picture a drag
// selects, and how far the picture scrolls while the pointer is held off the picture area's
// centre.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace quorvel {

// A selected rectangle in picture pixels. Right and bottom lie outside it: it covers
// right - left by bottom - top pixels.
struct CGrabRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool operator==(const CGrabRect &) const = default;
};

// Where a drag stands, in picture pixels, and the dialog's modes.
struct CGrabSelection
{
    QPoint anchor;  // where the drag started
    QPoint current; // where it has reached
    bool dragging = false;
    bool hasFaces = false;    // the result holds faces
    bool square = true;       // "Square" ticked
    bool dontStretch = true;  // "Don't stretch" ticked: a 64x64 box, before "Square"
};

// The rectangle the selection covers on a picture of that size, moved by the offset; none
// when there is no drag and no faces, or when the rectangle would leave the picture. Free, it
// is the box between the two points; square, it grows from the box's top-left corner by its
// longer side, cut to the picture; with "Don't stretch" it is the 64x64 box centred on the
// current point, kept 32 pixels from the left and top edges and 33 from the right and bottom.
std::optional<CGrabRect> ComputeSelection(const CGrabSelection &selection, QSize picture,
                                          QPoint offset = QPoint());

// How far the picture scrolls at one timer tick, for the pointer held at that point while
// dragging (the picture area's rectangle and the pointer in the same coordinates). Each axis
// steps by max(0, floor(20 ln |d| / ln h) - 10), d the pointer's distance from the area's
// centre and h half the area's extent, towards the pointer: nothing near the centre, 10 pixels
// at the area's edge, more beyond. None when either axis' step is 0; an axis where the pointer
// is exactly on the centre line moves by 0 without stopping the other.
std::optional<QPoint> EdgeScrollStep(const QRect &area, QPoint pointer);

} // namespace quorvel
