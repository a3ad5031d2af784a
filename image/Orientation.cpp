#include "image/Orientation.h"

#include "image/RgbImage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace quorvel {

EOrientation OrientationFromExif(int value)
{
    return value >= 1 && value <= 8 ? EOrientation(value) : EOrientation::Upright;
}

COrientationSteps StepsOf(EOrientation orientation)
{
    switch (orientation) {
    case EOrientation::Upright:
        break;
    case EOrientation::MirroredLeftRight:
        return {false, true, false};
    case EOrientation::Rotated180:
        return {false, true, true};
    case EOrientation::MirroredTopBottom:
        return {false, false, true};
    case EOrientation::Transposed:
        return {true, false, false};
    case EOrientation::RotatedClockwise:
        return {true, true, false};
    case EOrientation::Transversed:
        return {true, true, true};
    case EOrientation::RotatedCounterClockwise:
        return {true, false, true};
    }
    return {};
}

CPixelRect StoredRect(EOrientation orientation, int uprightWidth, int uprightHeight,
                      const CPixelRect &upright)
{
    // The steps undone in reverse order: mirror in the upright picture, then swap the axes.
    const COrientationSteps steps = StepsOf(orientation);
    CPixelRect rect = upright;
    const bool area = rect.width > 0 && rect.height > 0;
    if (area && steps.mirrorX)
        rect.x = uprightWidth - rect.x - rect.width;
    if (area && steps.mirrorY)
        rect.y = uprightHeight - rect.y - rect.height;
    if (steps.transposed)
        rect = CPixelRect{rect.y, rect.x, rect.height, rect.width};
    return rect;
}

CUprightWriter::CUprightWriter(CRgbTriple *upright, int storedWidth, int storedHeight,
                               EOrientation orientation)
    : m_out(upright), m_width(storedWidth), m_height(storedHeight), m_steps(StepsOf(orientation))
{
}

int CUprightWriter::RowsPerBatch(int storedWidth, EOrientation orientation)
{
    if (!SwapsAxes(orientation))
        return 16;
    // Each row becomes a column: a batch writes runs of that many pixels into each upright
    // row, so it is made as long as about 2 MB of rows allows.
    return std::clamp((2 << 20) / std::max(storedWidth * 3, 1), 16, 256);
}

void CUprightWriter::PutRows(int first, int count, const CRgbTriple *const *rows)
{
    const std::size_t width = std::size_t(m_width);
    if (!m_steps.transposed) {
        for (int r = 0; r < count; ++r) {
            const int y = first + r;
            const int uprightY = m_steps.mirrorY ? m_height - 1 - y : y;
            CRgbTriple *out = m_out + std::size_t(uprightY) * width;
            if (m_steps.mirrorX)
                std::reverse_copy(rows[r], rows[r] + width, out);
            else
                std::memcpy(out, rows[r], width * sizeof(CRgbTriple));
        }
        return;
    }
    // Upright, the picture is m_height wide: stored row y is upright column y (or its mirror),
    // stored column x upright row x (or its mirror). The batch's rows fill a run of columns.
    const std::size_t uprightWidth = std::size_t(m_height);
    for (int x = 0; x < m_width; ++x) {
        const int uprightY = m_steps.mirrorY ? m_width - 1 - x : x;
        CRgbTriple *line = m_out + std::size_t(uprightY) * uprightWidth;
        if (m_steps.mirrorX) {
            CRgbTriple *out = line + (m_height - 1 - first);
            for (int r = 0; r < count; ++r)
                out[-r] = rows[r][x];
        } else {
            CRgbTriple *out = line + first;
            for (int r = 0; r < count; ++r)
                out[r] = rows[r][x];
        }
    }
}

bool TurnUpright(CRgbImage &image, EOrientation orientation)
{
    const COrientationSteps steps = StepsOf(orientation);
    const int width = image.Width(), height = image.Height();
    if (width < 1 || height < 1 || orientation == EOrientation::Upright)
        return true;
    CRgbTriple *pixels = image.Pixels();
    if (!steps.transposed) {
        if (steps.mirrorY) {
            for (int y = 0; y < height / 2; ++y)
                std::swap_ranges(pixels + std::size_t(y) * width, pixels + std::size_t(y + 1) * width,
                                 pixels + std::size_t(height - 1 - y) * width);
        }
        if (steps.mirrorX) {
            for (int y = 0; y < height; ++y)
                std::reverse(pixels + std::size_t(y) * width, pixels + std::size_t(y + 1) * width);
        }
        return true;
    }
    CRgbImage turned(0, 0);
    if (!turned.Reset(height, width, std::int64_t(width) * height))
        return false;
    CUprightWriter writer(turned.Pixels(), width, height, orientation);
    const int batch = CUprightWriter::RowsPerBatch(width, orientation);
    std::vector<const CRgbTriple *> rows(static_cast<std::size_t>(batch));
    for (int y = 0; y < height; y += batch) {
        const int count = std::min(batch, height - y);
        for (int r = 0; r < count; ++r)
            rows[std::size_t(r)] = pixels + std::size_t(y + r) * width;
        writer.PutRows(y, count, rows.data());
    }
    image.TakePixels(turned);
    return true;
}

} // namespace quorvel
