#pragma once
// A picture's halvings, for painting it small: level 1 is the picture halved, each pixel the
// average of 2x2 pixels, level 2 is level 1 halved, and so on. A view shown below 1:1 draws
// from the nearest level at least as fine as the screen, so it looks like the photo, not like
// every n-th pixel of it, and never scales the whole photo per frame. Level 1 is three
// quarters of the halvings' memory and is shown only between 1/4 and 1/2, so it is made when
// first asked for; the coarser levels are made from its rows as they come, without it.

#include "image/RgbImage.h"

#include <QImage>

#include <functional>
#include <vector>

namespace quorvel {

class CPicturePyramid
{
public:
    CPicturePyramid() = default;
    // Halves the picture until a level's larger side is at most kSmallestSide, all levels but
    // level 1, which MakeFirstLevel makes. A level that cannot be had for memory ends the
    // pyramid there.
    explicit CPicturePyramid(const CRgbImage &picture);

    static constexpr int kSmallestSide = 128;

    // The halvings held: levels 1 ... Levels().
    int Levels() const { return int(m_levels.size()); }
    // Level k (1 ... Levels()), RGB888: pixel (x, y) averages the picture pixels from
    // (x, y) * 2^k to just before (x + 1, y + 1) * 2^k, those that exist.
    // Level 1 is a null image until MakeFirstLevel has made it.
    const QImage &Level(int k) const { return m_levels[std::size_t(k - 1)]; }
    // Level k's size, level 1's too before it is made.
    QSize LevelSize(int k) const { return k == 1 ? m_firstSize : Level(k).size(); }
    // Makes level 1 of the picture the pyramid was made from, unless it is there; it stays
    // null when memory is short.
    void MakeFirstLevel(const CRgbImage &picture);
    // The coarsest level at least as fine as the scale (screen pixels per picture pixel):
    // 0, the picture itself, above 1/2; 1 above 1/4 up to 1/2; ... at most Levels().
    int LevelFor(double scale) const;

private:
    std::vector<QImage> m_levels;
    QSize m_firstSize;
};

// One halving: each target pixel the rounded average of the 2x2 source pixels it covers (of
// the 1x2, 2x1 or single pixel at an odd edge). The target is (width + 1) / 2 by
// (height + 1) / 2 pixels of RGB888; rows are strides bytes apart.
void HalvePicture(const std::uint8_t *source, int width, int height, std::ptrdiff_t sourceStride,
                  std::uint8_t *target, std::ptrdiff_t targetStride);

// The rows of the picture's level 1 (RGB888, (width + 1) / 2 pixels), each handed to row with
// its number, in order, as two picture rows are halved into it; none is kept after its call.
void ForEachHalvedRow(const CRgbImage &picture,
                      const std::function<void(int y, const std::uint8_t *row)> &row);

} // namespace quorvel
