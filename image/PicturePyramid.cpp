#include "image/PicturePyramid.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quorvel {

void HalvePicture(const std::uint8_t *source, int width, int height, std::ptrdiff_t sourceStride,
                  std::uint8_t *target, std::ptrdiff_t targetStride)
{
    const int halfWidth = (width + 1) / 2;
    const int pairs = width / 2; // target pixels made of two columns
    const std::size_t values = std::size_t(width) * 3;
    std::vector<std::uint16_t> sums(values);
    for (int y = 0; y < height; y += 2) {
        const std::uint8_t *upper = source + std::ptrdiff_t(y) * sourceStride;
        const bool twoRows = y + 1 < height;
        // Two rows summed first, a plain loop the compiler vectorises.
        if (twoRows) {
            const std::uint8_t *lower = upper + sourceStride;
            for (std::size_t i = 0; i < values; ++i)
                sums[i] = std::uint16_t(upper[i] + lower[i]);
        } else {
            for (std::size_t i = 0; i < values; ++i)
                sums[i] = std::uint16_t(2 * upper[i]); // counted twice: the same rounding below
        }
        std::uint8_t *out = target + std::ptrdiff_t(y / 2) * targetStride;
        for (int x = 0; x < pairs; ++x) {
            const std::uint16_t *pair = sums.data() + 6 * std::size_t(x);
            out[3 * x] = std::uint8_t((pair[0] + pair[3] + 2) >> 2);
            out[3 * x + 1] = std::uint8_t((pair[1] + pair[4] + 2) >> 2);
            out[3 * x + 2] = std::uint8_t((pair[2] + pair[5] + 2) >> 2);
        }
        if (pairs < halfWidth) { // the odd last column
            const std::uint16_t *last = sums.data() + 6 * std::size_t(pairs);
            for (int c = 0; c < 3; ++c)
                out[3 * pairs + c] = std::uint8_t((last[c] + 1) >> 1);
        }
    }
}

CPicturePyramid::CPicturePyramid(const CRgbImage &picture)
{
    const std::uint8_t *source = reinterpret_cast<const std::uint8_t *>(picture.Pixels());
    int width = picture.Width();
    int height = picture.Height();
    std::ptrdiff_t stride = std::ptrdiff_t(width) * 3;
    while (source && std::max(width, height) > kSmallestSide) {
        QImage level((width + 1) / 2, (height + 1) / 2, QImage::Format_RGB888);
        if (level.isNull())
            break;
        HalvePicture(source, width, height, stride, level.bits(), level.bytesPerLine());
        m_levels.push_back(std::move(level));
        const QImage &made = m_levels.back();
        source = made.constBits();
        width = made.width();
        height = made.height();
        stride = made.bytesPerLine();
    }
}

int CPicturePyramid::LevelFor(double scale) const
{
    int level = 0;
    for (double fineness = 0.5; level < Levels() && scale <= fineness; fineness /= 2)
        ++level;
    return level;
}

} // namespace quorvel
