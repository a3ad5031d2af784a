#pragma once
// How a picture shows in a zoomable view: one scale and one scroll offset, and the only way
// between screen and picture coordinates. Screen coordinates are the view's own pixels; picture
// coordinates are picture pixels. Everything is exact integer arithmetic, so a point maps the
// same way wherever it is asked.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <span>

namespace quorvel {

struct CGrabRect;

// Screen pixels per picture pixel, as the fraction num / den (both above 0).
struct CViewScale
{
    std::int64_t num = 1;
    std::int64_t den = 1;

    double Value() const { return double(num) / double(den); }
    // Equal as fractions: 2/2 equals 1/1.
    bool operator==(const CViewScale &other) const { return num * other.den == other.num * den; }
    bool operator<(const CViewScale &other) const { return num * other.den < other.num * den; }
};

// The zoom steps, from 1/32 to 16, smallest first.
std::span<const CViewScale> ZoomSteps();
// The first step above (direction > 0) or below (direction < 0) the scale, or the last step
// that way when there is none beyond.
CViewScale NextZoomStep(CViewScale scale, int direction);
// The scale at which the whole picture fits the view, never above the largest step.
CViewScale FitScale(QSize picture, QSize view);
// The scale as a whole percentage, halves up, at least 1: 13 for 1/8.
int ScalePercent(CViewScale scale);

struct CViewTransform
{
    CViewScale scale;
    // The screen position of the picture's origin is -offset: the picture pixel x shows from
    // screen x * scale - offset.x.
    QPoint offset;

    // The picture grid line nearest a screen position, rounding halves up: where a pointer
    // at the top-left corner of a screen pixel lies on the picture's pixel edges.
    QPoint PictureAt(QPoint screen) const;
    // The picture pixel at the centre of a screen pixel.
    QPoint PixelUnder(QPoint screen) const;
    // Where a picture grid line shows on the screen, rounded to the nearest screen line.
    QPoint ScreenAt(QPoint picture) const;
    // Where a rectangle of picture pixels shows: from the screen line of its top-left edge to
    // that of its bottom-right edge.
    QRect ScreenRect(const CGrabRect &rect) const;
    // The picture's extent on the screen.
    QSize ScaledSize(QSize picture) const;
    // The offset that keeps the picture point under a screen point there at another scale.
    QPoint OffsetKeeping(QPoint screen, CViewScale to) const;

    bool operator==(const CViewTransform &other) const
    {
        return scale == other.scale && offset == other.offset;
    }
};

// The offsets a view can take for a picture shown at that scale: on an axis where the picture
// is smaller than the view, it is centred and that is the only offset; elsewhere from 0 (the
// picture's edge at the view's) to the scaled extent less the view's.
QRect OffsetRange(QSize scaled, QSize view);

} // namespace quorvel
