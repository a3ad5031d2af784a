#include "ui/GrabSelection.h"

#include <algorithm>
#include <cstdlib>

namespace quorvel {

namespace {

// The fixed box of "Don't stretch" is this big, so that the large face is copied 1:1.
constexpr int BoxSide = 64;

// The edges a part of a box moves.
struct CPartEdges
{
    bool left = false, top = false, right = false, bottom = false;
};

CPartEdges EdgesOf(EBoxPart part)
{
    switch (part) {
    case EBoxPart::TopLeft: return {true, true, false, false};
    case EBoxPart::Top: return {false, true, false, false};
    case EBoxPart::TopRight: return {false, true, true, false};
    case EBoxPart::Right: return {false, false, true, false};
    case EBoxPart::BottomRight: return {false, false, true, true};
    case EBoxPart::Bottom: return {false, false, false, true};
    case EBoxPart::BottomLeft: return {true, false, false, true};
    case EBoxPart::Left: return {true, false, false, false};
    case EBoxPart::None:
    case EBoxPart::Inside: break;
    }
    return {};
}

// Past the edge band's inner line by past pixels (1 or more): the scroll of one tick.
int EdgeSpeed(int past)
{
    return std::max(1, (10 * past + kEdgeBand / 2) / kEdgeBand);
}

int EdgeAxisStep(int pointer, int extent, int scroll, int maxScroll)
{
    if (maxScroll <= 0)
        return 0;
    if (pointer < kEdgeBand && scroll > 0)
        return -EdgeSpeed(kEdgeBand - pointer);
    if (pointer >= extent - kEdgeBand && scroll < maxScroll)
        return EdgeSpeed(pointer - (extent - kEdgeBand) + 1);
    return 0;
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

EBoxPart HitBoxPart(const QRect &box, QPoint point, int handleSide, bool resizable)
{
    // Edge lines, not pixels: the box covers left ... right - 1.
    const int left = box.left(), top = box.top();
    const int right = left + box.width(), bottom = top + box.height();
    const int midX = left + box.width() / 2, midY = top + box.height() / 2;
    const struct
    {
        EBoxPart part;
        int x, y;
    } handles[] = {
        {EBoxPart::TopLeft, left, top},       {EBoxPart::Top, midX, top},
        {EBoxPart::TopRight, right, top},     {EBoxPart::Right, right, midY},
        {EBoxPart::BottomRight, right, bottom}, {EBoxPart::Bottom, midX, bottom},
        {EBoxPart::BottomLeft, left, bottom}, {EBoxPart::Left, left, midY},
    };
    const int reach = handleSide / 2;
    EBoxPart nearest = EBoxPart::None;
    int nearestDistance = reach + 1;
    for (const auto &handle : handles) {
        const int distance
            = std::max(std::abs(point.x() - handle.x), std::abs(point.y() - handle.y));
        if (distance < nearestDistance) {
            nearest = handle.part;
            nearestDistance = distance;
        }
    }
    if (nearest != EBoxPart::None)
        return resizable ? nearest : EBoxPart::Inside;
    const bool inside = point.x() >= left && point.x() < right && point.y() >= top
        && point.y() < bottom;
    return inside ? EBoxPart::Inside : EBoxPart::None;
}

CGrabRect MoveBox(const CGrabRect &box, QPoint delta, QSize picture)
{
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    const int left = std::clamp(box.left + delta.x(), 0, std::max(0, picture.width() - 1 - width));
    const int top
        = std::clamp(box.top + delta.y(), 0, std::max(0, picture.height() - 1 - height));
    return CGrabRect{left, top, left + width, top + height};
}

CGrabRect ResizeBox(const CGrabRect &box, EBoxPart part, QPoint to, bool square,
                    bool dontStretch, QSize picture)
{
    const CPartEdges edges = EdgesOf(part);
    if (dontStretch || !(edges.left || edges.top || edges.right || edges.bottom))
        return box;
    // As a drag's points are, the last column and row are out of reach.
    const int lastX = std::max(0, picture.width() - 1);
    const int lastY = std::max(0, picture.height() - 1);
    to = QPoint(std::clamp(to.x(), 0, lastX), std::clamp(to.y(), 0, lastY));
    if (!square) {
        const int x1 = edges.left ? to.x() : box.left;
        const int x2 = edges.right ? to.x() : box.right;
        const int y1 = edges.top ? to.y() : box.top;
        const int y2 = edges.bottom ? to.y() : box.bottom;
        return CGrabRect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    }
    // The corner opposite the part held stays; an edge keeps the other axis' first edge.
    const bool acrossMoves = edges.left || edges.right;
    const bool downMoves = edges.top || edges.bottom;
    const int anchorX = edges.left ? box.right : box.left;
    const int anchorY = edges.top ? box.bottom : box.top;
    const int dx = to.x() - anchorX;
    const int dy = to.y() - anchorY;
    const int signX = acrossMoves ? (dx != 0 ? (dx > 0 ? 1 : -1) : (edges.left ? -1 : 1)) : 1;
    const int signY = downMoves ? (dy != 0 ? (dy > 0 ? 1 : -1) : (edges.top ? -1 : 1)) : 1;
    int side = std::max(acrossMoves ? std::abs(dx) : 0, downMoves ? std::abs(dy) : 0);
    side = std::min({side, signX > 0 ? lastX - anchorX : anchorX,
                     signY > 0 ? lastY - anchorY : anchorY});
    side = std::max(side, 0);
    const int x2 = anchorX + signX * side;
    const int y2 = anchorY + signY * side;
    return CGrabRect{std::min(anchorX, x2), std::min(anchorY, y2), std::max(anchorX, x2),
                     std::max(anchorY, y2)};
}

CGrabRect GrowBox(const CGrabRect &box, int dRight, int dBottom, bool square, bool dontStretch,
                  QSize picture)
{
    if (dontStretch)
        return box;
    // Within 1 ... the room left before the last column (or row), when there is any.
    const auto grown = [](int from, int size, int by, int room) {
        const int wanted = std::clamp(size + by, 1, std::max(1, room));
        return room >= 1 ? from + wanted : from + size;
    };
    CGrabRect result = box;
    const int roomX = picture.width() - 1 - box.left;
    const int roomY = picture.height() - 1 - box.top;
    if (square) {
        const int by = dRight != 0 ? dRight : dBottom;
        const int side = grown(0, box.right - box.left, by, std::min(roomX, roomY));
        result.right = box.left + side;
        result.bottom = box.top + side;
        return result;
    }
    result.right = grown(box.left, box.right - box.left, dRight, roomX);
    result.bottom = grown(box.top, box.bottom - box.top, dBottom, roomY);
    return result;
}

std::optional<CGrabRect> DefaultBox(bool dontStretch, QSize picture)
{
    if (dontStretch) {
        const QPoint middle(picture.width() / 2, picture.height() / 2);
        return ComputeSelection(CGrabSelection{middle, middle, true, false, true, true}, picture);
    }
    const int side = std::min(picture.width(), picture.height()) - 1;
    if (side < 1)
        return std::nullopt;
    const int left = (picture.width() - 1 - side) / 2;
    const int top = (picture.height() - 1 - side) / 2;
    return CGrabRect{left, top, left + side, top + side};
}

QPoint EdgeScrollStep(QSize view, QPoint pointer, QPoint scroll, QPoint maxScroll)
{
    return QPoint(EdgeAxisStep(pointer.x(), view.width(), scroll.x(), maxScroll.x()),
                  EdgeAxisStep(pointer.y(), view.height(), scroll.y(), maxScroll.y()));
}

} // namespace quorvel
