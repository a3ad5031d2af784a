#include "ui/ViewTransform.h"

#include "ui/GrabSelection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace quorvel {

namespace {

constexpr std::array<CViewScale, 18> kZoomSteps = {{
    {1, 32}, {1, 24}, {1, 16}, {1, 12}, {1, 8}, {1, 6}, {1, 4}, {1, 3}, {1, 2}, {2, 3},
    {1, 1}, {2, 1}, {3, 1}, {4, 1}, {6, 1}, {8, 1}, {12, 1}, {16, 1},
}};

// a / b rounded toward minus infinity, b above 0.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// a * num / den rounded to the nearest integer, halves up.
std::int64_t RoundScaled(std::int64_t a, std::int64_t num, std::int64_t den)
{
    return FloorDiv(2 * a * num + den, 2 * den);
}

int ToInt(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, -(1 << 30), 1 << 30));
}

} // namespace

std::span<const CViewScale> ZoomSteps()
{
    return kZoomSteps;
}

CViewScale NextZoomStep(CViewScale scale, int direction)
{
    if (direction > 0) {
        for (const CViewScale &step : kZoomSteps)
            if (scale < step)
                return step;
        return kZoomSteps.back();
    }
    for (auto step = kZoomSteps.rbegin(); step != kZoomSteps.rend(); ++step)
        if (*step < scale)
            return *step;
    return kZoomSteps.front();
}

CViewScale FitScale(QSize picture, QSize view)
{
    const std::int64_t pw = std::max(1, picture.width());
    const std::int64_t ph = std::max(1, picture.height());
    const std::int64_t vw = std::max(1, view.width());
    const std::int64_t vh = std::max(1, view.height());
    // The narrower of view width / picture width and view height / picture height.
    CViewScale fit = vw * ph <= vh * pw ? CViewScale{vw, pw} : CViewScale{vh, ph};
    if (kZoomSteps.back() < fit)
        return kZoomSteps.back();
    const std::int64_t common = std::gcd(fit.num, fit.den);
    return CViewScale{fit.num / common, fit.den / common};
}

int ScalePercent(CViewScale scale)
{
    return std::max(1, ToInt(RoundScaled(100, scale.num, scale.den)));
}

QPoint CViewTransform::PictureAt(QPoint screen) const
{
    // (s + offset) / scale, to the nearest grid line.
    const auto axis = [this](int s, int o) {
        return ToInt(RoundScaled(std::int64_t(s) + o, scale.den, scale.num));
    };
    return QPoint(axis(screen.x(), offset.x()), axis(screen.y(), offset.y()));
}

QPoint CViewTransform::PixelUnder(QPoint screen) const
{
    // The centre s + 1/2, scaled and rounded down.
    const auto axis = [this](int s, int o) {
        return ToInt(FloorDiv((2 * (std::int64_t(s) + o) + 1) * scale.den, 2 * scale.num));
    };
    return QPoint(axis(screen.x(), offset.x()), axis(screen.y(), offset.y()));
}

QPoint CViewTransform::ScreenAt(QPoint picture) const
{
    return QPoint(ToInt(RoundScaled(picture.x(), scale.num, scale.den) - offset.x()),
                  ToInt(RoundScaled(picture.y(), scale.num, scale.den) - offset.y()));
}

QRect CViewTransform::ScreenRect(const CGrabRect &rect) const
{
    const QPoint topLeft = ScreenAt(QPoint(rect.left, rect.top));
    const QPoint bottomRight = ScreenAt(QPoint(rect.right, rect.bottom));
    return QRect(topLeft, QSize(bottomRight.x() - topLeft.x(), bottomRight.y() - topLeft.y()));
}

QSize CViewTransform::ScaledSize(QSize picture) const
{
    return QSize(ToInt(RoundScaled(picture.width(), scale.num, scale.den)),
                 ToInt(RoundScaled(picture.height(), scale.num, scale.den)));
}

QPoint CViewTransform::OffsetKeeping(QPoint screen, CViewScale to) const
{
    // The picture point under the screen point, as an exact fraction, shown at the new scale.
    const auto axis = [&](int s, int o) {
        const std::int64_t numerator = (std::int64_t(s) + o) * scale.den * to.num;
        const std::int64_t denominator = scale.num * to.den;
        return ToInt(FloorDiv(2 * numerator + denominator, 2 * denominator) - s);
    };
    return QPoint(axis(screen.x(), offset.x()), axis(screen.y(), offset.y()));
}

QRect OffsetRange(QSize scaled, QSize view)
{
    const auto axis = [](int picture, int shown, int &low, int &high) {
        if (picture <= shown) {
            low = high = -((shown - picture) / 2);
        } else {
            low = 0;
            high = picture - shown;
        }
    };
    int left = 0, right = 0, top = 0, bottom = 0;
    axis(scaled.width(), view.width(), left, right);
    axis(scaled.height(), view.height(), top, bottom);
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace quorvel
