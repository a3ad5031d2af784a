#pragma once
// The rules of the face grab dialog that need no window: which rectangle of the picture a drag
// selects, how a box that stands is moved and resized, and how far the picture scrolls while
// the pointer is held at the picture area's edge.

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

// The parts of a box a press can take hold of: inside it to move it, or one of its eight
// handles to resize it. Left, right, top and bottom name the edges a handle moves.
enum class EBoxPart { None, Inside, TopLeft, Top, TopRight, Right, BottomRight, Bottom, BottomLeft,
                      Left };

// The part of a box shown at that screen rectangle under a screen point: a handle when the
// point lies on one of the handles (squares of that side centred on the corners and the edges'
// middles; the nearest when they overlap), else Inside when it lies in the box, else None.
// With resizable false the handles count as inside.
EBoxPart HitBoxPart(const QRect &box, QPoint point, int handleSide, bool resizable = true);

// The box moved by delta, then pushed back so that it stays on the picture as a selection
// must (its right and bottom below the picture's width and height).
CGrabRect MoveBox(const CGrabRect &box, QPoint delta, QSize picture);

// The box with the part held moved to a picture point (a corner, or one edge), the point first
// kept on the picture; an edge that passes the opposite one turns the box over. Square keeps it
// square, the corner or edge opposite the part held staying where it is; "Don't stretch"
// leaves it as it is (it can only move).
CGrabRect ResizeBox(const CGrabRect &box, EBoxPart part, QPoint to, bool square,
                    bool dontStretch, QSize picture);

// The box with its right and bottom edges moved by the keyboard (dRight across, dBottom down),
// never narrower or shorter than one pixel and kept on the picture. Square moves both edges
// by whichever is given; "Don't stretch" leaves it as it is.
CGrabRect GrowBox(const CGrabRect &box, int dRight, int dBottom, bool square, bool dontStretch,
                  QSize picture);

// The box the keyboard makes when there is none: the 64x64 box in the picture's middle with
// "Don't stretch", otherwise the largest square that fits, centred. None when the picture has
// no room for it.
std::optional<CGrabRect> DefaultBox(bool dontStretch, QSize picture);

// How far the view scrolls at one tick while the pointer (in the view's coordinates) is held
// during a drag. On each axis the pointer scrolls only within kEdgeBand pixels of an edge or
// beyond it, and only where there is more to see that way (scroll below or above its
// maximum): 10 pixels a tick at the edge itself, in proportion to the distance past the band's
// inner line, so less inside and more outside.
inline constexpr int kEdgeBand = 24;
QPoint EdgeScrollStep(QSize view, QPoint pointer, QPoint scroll, QPoint maxScroll);

} // namespace quorvel
