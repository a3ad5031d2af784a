#include "ui/GrabSelection.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quorvel {

namespace {

// The fixed box of "Don't stretch" is this big, so that the large face is copied 1:1.
constexpr int BoxSide = 64;

// One axis of EdgeScrollStep: the step for offset d from the centre and half extent h; 0 for
// no movement. An offset of 0 is handled by the caller.
int AxisStep(int d, int h)
{
    if (h < 2)
        return 0; // an area this small has no centre to speak of
    const double t = std::trunc(-20.0 * std::log(std::abs(double(d))) / std::log(double(h)));
    const int step = -10 - int(t);
    return step < 1 ? 0 : step;
}

} // namespace

std::optional<CGrabRect> ComputeSelection(const CGrabSelection &selection, QSize picture,
                                          QPoint offset)
{
    if (!selection.dragging && !selection.hasFaces)
        return std::nullopt;
    const int width = picture.width();
    const int height = picture.height();
    CGrabRect rect{std::min(selection.anchor.x(), selection.current.x()),
                   std::min(selection.anchor.y(), selection.current.y()),
                   std::max(selection.anchor.x(), selection.current.x()),
                   std::max(selection.anchor.y(), selection.current.y())};
    if (selection.dontStretch) {
        // Raised first, then lowered: on a picture narrower than 65 pixels the box leaves it.
        const int half = BoxSide / 2;
        const int cx = std::min(std::max(selection.current.x(), half), width - half - 1);
        const int cy = std::min(std::max(selection.current.y(), half), height - half - 1);
        rect = CGrabRect{cx - half, cy - half, cx + half, cy + half};
    } else if (selection.square) {
        int side = std::max(rect.right - rect.left, rect.bottom - rect.top);
        side = std::min({side, width - 1 - rect.left, height - 1 - rect.top});
        rect.right = rect.left + side;
        rect.bottom = rect.top + side;
    }
    if (rect.left < 0 || rect.top < 0 || rect.right >= width || rect.bottom >= height)
        return std::nullopt;
    return CGrabRect{rect.left + offset.x(), rect.top + offset.y(), rect.right + offset.x(),
                     rect.bottom + offset.y()};
}

std::optional<QPoint> EdgeScrollStep(const QRect &area, QPoint pointer)
{
    const int halfWidth = area.width() / 2;
    const int halfHeight = area.height() / 2;
    const int dx = pointer.x() - area.left() - halfWidth;
    const int dy = pointer.y() - area.top() - halfHeight;
    const int stepX = dx == 0 ? 0 : AxisStep(dx, halfWidth);
    const int stepY = dy == 0 ? 0 : AxisStep(dy, halfHeight);
    if ((dx != 0 && stepX == 0) || (dy != 0 && stepY == 0))
        return std::nullopt;
    const auto sign = [](int value) { return (value > 0) - (value < 0); };
    return QPoint(sign(dx) * stepX, sign(dy) * stepY);
}

} // namespace quorvel
