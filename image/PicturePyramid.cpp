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

void ForEachHalvedRow(const CRgbImage &picture,
                      const std::function<void(int y, const std::uint8_t *row)> &row)
{
    const std::uint8_t *source = reinterpret_cast<const std::uint8_t *>(picture.Pixels());
    const int width = picture.Width(), height = picture.Height();
    if (!source || width < 1 || height < 1)
        return;
    const std::ptrdiff_t stride = std::ptrdiff_t(width) * 3;
    std::vector<std::uint8_t> halved(std::size_t((width + 1) / 2) * 3);
    for (int y = 0; y < height; y += 2) {
        HalvePicture(source + y * stride, width, std::min(2, height - y), stride, halved.data(),
                     std::ptrdiff_t(halved.size()));
        row(y / 2, halved.data());
    }
}

CPicturePyramid::CPicturePyramid(const CRgbImage &picture)
{
    int width = picture.Width();
    int height = picture.Height();
    if (!picture.Pixels() || std::max(width, height) <= kSmallestSide)
        return;
    m_firstSize = QSize((width + 1) / 2, (height + 1) / 2);
    m_levels.emplace_back(); // level 1, left to MakeFirstLevel
    width = m_firstSize.width();
    height = m_firstSize.height();
    if (std::max(width, height) <= kSmallestSide)
        return;
    // Level 2 from level 1's rows two at a time, to the very bytes halving level 1 would give.
    QImage second((width + 1) / 2, (height + 1) / 2, QImage::Format_RGB888);
    if (second.isNull())
        return;
    const std::ptrdiff_t pairStride = std::ptrdiff_t(width) * 3;
    std::vector<std::uint8_t> pair(std::size_t(2 * pairStride));
    ForEachHalvedRow(picture, [&](int y, const std::uint8_t *row) {
        std::copy(row, row + pairStride, pair.data() + (y % 2) * pairStride);
        if (y % 2 == 1 || y == height - 1)
            HalvePicture(pair.data(), width, y % 2 + 1, pairStride, second.scanLine(y / 2),
                         second.bytesPerLine());
    });
    m_levels.push_back(std::move(second));
    const std::uint8_t *source = m_levels.back().constBits();
    width = m_levels.back().width();
    height = m_levels.back().height();
    std::ptrdiff_t stride = m_levels.back().bytesPerLine();
    while (std::max(width, height) > kSmallestSide) {
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

void CPicturePyramid::MakeFirstLevel(const CRgbImage &picture)
{
    if (m_levels.empty() || !m_levels[0].isNull() || !picture.Pixels()
        || QSize((picture.Width() + 1) / 2, (picture.Height() + 1) / 2) != m_firstSize)
        return; // made, or not the picture it was made from
    QImage first(m_firstSize, QImage::Format_RGB888);
    if (first.isNull())
        return;
    HalvePicture(reinterpret_cast<const std::uint8_t *>(picture.Pixels()), picture.Width(),
                 picture.Height(), std::ptrdiff_t(picture.Width()) * 3, first.bits(),
                 first.bytesPerLine());
    m_levels[0] = std::move(first);
}

int CPicturePyramid::LevelFor(double scale) const
{
    int level = 0;
    for (double fineness = 0.5; level < Levels() && scale <= fineness; fineness /= 2)
        ++level;
    return level;
}

} // namespace quorvel
