#pragma once
// What every picture the loaders leave behind must satisfy, whatever the bytes were.

#include "image/RgbImage.h"

#include <cstdint>
#include <cstdlib>

namespace quorvel::fuzz {

// Keeps each run small; the refusal of larger headers is the same code at any limit.
constexpr std::int64_t kMaxPixels = std::int64_t(1) << 22;

// Aborts unless the image holds a sane size within the limit; reads every pixel, so that the
// sanitizers see any that lies outside the buffer. Returns the number of pixels.
inline std::int64_t CheckPicture(const CRgbImage &image)
{
    const std::int64_t pixels = std::int64_t(image.Width()) * image.Height();
    if (image.Width() < 1 || image.Height() < 1 || pixels > kMaxPixels)
        std::abort();
    unsigned sum = 0;
    for (std::int64_t i = 0; i < pixels; ++i)
        sum += image.Pixels()[i].red + image.Pixels()[i].green + image.Pixels()[i].blue;
    [[maybe_unused]] static volatile unsigned sink;
    sink = sum;
    return pixels;
}

} // namespace quorvel::fuzz
