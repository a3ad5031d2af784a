#include "image/RgbImage.h"

#include "image/Loaders.h"
#include "image/PaletteImage.h"
#include "image/Resample.h"
#include "platform/LargeBuffer.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>
#include <utility>

namespace quorvel {

namespace {

int SaturatedInt(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                        std::numeric_limits<int>::max()));
}

// The colour the no-picture image is filled with: what dark red (128, 32, 32) matches.
constexpr int NoPictureIndex = 62;

} // namespace

CRgbImage::CRgbImage(const QString &path, std::int64_t maxPixels)
{
    AllocateBlack(1, 1);
    m_loaded = LoadPicture(*this, path, maxPixels);
}

CRgbImage::CRgbImage(const CPaletteImage &source)
{
    AllocateBlack(source.Width(), source.Height());
    const std::uint8_t *indices = source.Indices();
    for (std::size_t i = 0; i < m_pixelCount; ++i)
        m_pixels[i] = PaletteEntry(indices[i]);
}

CRgbImage::CRgbImage(int width, int height, const CRgbImage *source, int x, int y,
                     int sourceWidth, int sourceHeight)
{
    AllocateBlack(std::max(width, 0), std::max(height, 0));
    if (!source)
        DrawNoPicture();
    else if (sourceWidth < 0 || sourceHeight < 0)
        CopyBlock(*source, x, y);
    else
        ResampleArea(source->Pixels(), source->Width(), source->Height(), x, y, sourceWidth,
                     sourceHeight, m_pixels.get(), m_width, m_height);
}

CRgbImage::CRgbImage(int width, int height, CBlack)
{
    AllocateBlack(std::max(width, 0), std::max(height, 0));
}

void CRgbImage::CFreePixels::operator()(CRgbTriple *pixels) const noexcept
{
    if (largeBytes)
        FreeLargePages(pixels, largeBytes);
    else
        std::free(pixels);
}

// Zeroed memory is black, and the system hands out large blocks as fresh zero pages: a picture
// takes memory only as its rows are written, so a decoder's own buffers and the rows it has
// not reached yet never need the memory at the same time. A picture of a megabyte or more
// (kLargeBufferBytes) fills large pages, a few faults instead of one per 4 KB.
CRgbImage::CPixels CRgbImage::AllocateBlackPixels(std::size_t count)
{
    if (count == 0)
        return nullptr;
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(CRgbTriple))
        throw std::bad_alloc();
    const std::size_t bytes = count * sizeof(CRgbTriple);
    CPixels pixels = bytes >= kLargeBufferBytes
        ? CPixels(static_cast<CRgbTriple *>(AllocateLargePages(bytes)), CFreePixels(bytes))
        : CPixels(static_cast<CRgbTriple *>(std::calloc(count, sizeof(CRgbTriple))));
    if (!pixels)
        throw std::bad_alloc();
    return pixels;
}

void CRgbImage::AllocateBlack(int width, int height)
{
    m_pixelCount = std::size_t(width) * std::size_t(height);
    m_pixels = AllocateBlackPixels(m_pixelCount);
    m_width = width;
    m_height = height;
}

bool CRgbImage::Reset(int width, int height, std::int64_t maxPixels)
{
    if (width < 1 || height < 1 || std::int64_t(width) * std::int64_t(height) > maxPixels)
        return false;
    try {
        const std::size_t count = std::size_t(width) * std::size_t(height);
        CPixels pixels = AllocateBlackPixels(count);
        m_pixels = std::move(pixels);
        m_pixelCount = count;
    } catch (const std::bad_alloc &) {
        return false;
    }
    m_width = width;
    m_height = height;
    return true;
}

void CRgbImage::TakePixels(CRgbImage &other)
{
    m_pixels = std::move(other.m_pixels);
    m_pixelCount = std::exchange(other.m_pixelCount, 0);
    m_width = std::exchange(other.m_width, 0);
    m_height = std::exchange(other.m_height, 0);
}

void CRgbImage::DrawNoPicture()
{
    std::fill(m_pixels.get(), m_pixels.get() + m_pixelCount, PaletteEntry(NoPictureIndex));
    const CRgbTriple black;
    DrawLine(0, m_height - 1, m_width - 1, 0, black);
    DrawLine(m_width - 1, m_height - 1, 0, 0, black);
}

// Bresenham's line; like the platform's lines, the end point itself is not drawn.
void CRgbImage::DrawLine(int x0, int y0, int x1, int y1, const CRgbTriple &colour)
{
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int stepX = x0 < x1 ? 1 : -1;
    const int stepY = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    while (x0 != x1 || y0 != y1) {
        if (x0 >= 0 && x0 < m_width && y0 >= 0 && y0 < m_height)
            m_pixels[std::size_t(y0) * std::size_t(m_width) + std::size_t(x0)] = colour;
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += stepX;
        }
        if (twice <= dx) {
            error += dx;
            y0 += stepY;
        }
    }
}

// The part of the block at (x, y) that lies on the source; the rest stays black.
void CRgbImage::CopyBlock(const CRgbImage &source, int x, int y)
{
    CBlockCopier copier(source.m_width, source.m_height, x, y, m_pixels.get(), m_width, m_height);
    for (int row = copier.FirstRow(); row < copier.EndRow(); ++row)
        copier.AddRow(row, source.m_pixels.get() + std::int64_t(row) * source.m_width);
}

void DrawImageBlock(QPainter &painter, const QImage &image, int dx, int dy, int sx, int sy,
                    int sw, int sh)
{
    const std::int64_t left = std::max<std::int64_t>(sx, 0);
    const std::int64_t top = std::max<std::int64_t>(sy, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t(sx) + sw, image.width());
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t(sy) + sh, image.height());
    if (right <= left || bottom <= top)
        return;
    painter.drawImage(QPoint(SaturatedInt(dx + (left - sx)), SaturatedInt(dy + (top - sy))), image,
                      QRect(int(left), int(top), int(right - left), int(bottom - top)));
}

QImage CRgbImage::AsQImage() const
{
    if (m_width <= 0 || m_height <= 0)
        return QImage();
    return QImage(reinterpret_cast<const uchar *>(m_pixels.get()), m_width, m_height,
                  qsizetype(m_width) * 3, QImage::Format_RGB888);
}

void CRgbImage::Draw(QPainter &painter, int dx, int dy, int sx, int sy, int sw, int sh, int dw,
                     int dh) const
{
    if (dw < 0 || dh < 0) {
        DrawImageBlock(painter, AsQImage(), dx, dy, sx, sy, sw < 0 ? m_width : sw,
                       sh < 0 ? m_height : sh);
        return;
    }
    if (dw == 0 || dh == 0 || std::int64_t(dw) * dh > kMaxPicturePixels)
        return;
    try {
        const CRgbImage scaled(dw, dh, this, sx, sy, sw, sh);
        painter.drawImage(QPoint(dx, dy), scaled.AsQImage());
    } catch (const std::bad_alloc &) {
        // A preview too large for memory is simply not painted.
    }
}

bool PlanCrop(int pictureWidth, int pictureHeight, int x1, int y1, int x2, int y2, int tw, int th,
              CCropPlan &plan)
{
    const int left = std::clamp(std::min(x1, x2), 0, pictureWidth);
    const int right = std::clamp(std::max(x1, x2), 0, pictureWidth);
    const int top = std::clamp(std::min(y1, y2), 0, pictureHeight);
    const int bottom = std::clamp(std::max(y1, y2), 0, pictureHeight);
    const int cutWidth = right - left;
    const int cutHeight = bottom - top;

    if ((tw < 0 && th < 0) || (tw == cutWidth && th == cutHeight)) {
        plan = CCropPlan{cutWidth, cutHeight, left, top, -1, -1};
        return true;
    }
    if (std::int64_t(std::max(tw, 0)) * std::max(th, 0) > kMaxPicturePixels)
        return false;
    plan = CCropPlan{std::max(tw, 0), std::max(th, 0), x1, y1,
                     SaturatedInt(std::int64_t(x2) - x1), SaturatedInt(std::int64_t(y2) - y1)};
    return true;
}

std::unique_ptr<CPaletteImage> CRgbImage::CropToPaletteImage(int x1, int y1, int x2, int y2,
                                                             int tw, int th) const
{
    CCropPlan plan;
    if (!PlanCrop(m_width, m_height, x1, y1, x2, y2, tw, th, plan))
        return nullptr;
    try {
        const CRgbImage intermediate(plan.width, plan.height, this, plan.x, plan.y,
                                     plan.sourceWidth, plan.sourceHeight);
        return std::make_unique<CPaletteImage>(intermediate);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

std::vector<std::unique_ptr<CRgbImage>> CRgbImage::ScaledCopies(int x, int y, int sourceWidth,
                                                                int sourceHeight,
                                                                std::span<const QSize> sizes) const
{
    std::vector<std::unique_ptr<CRgbImage>> copies(sizes.size());
    std::vector<CResampleTarget> targets;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int width = std::max(sizes[i].width(), 0);
        const int height = std::max(sizes[i].height(), 0);
        if (std::int64_t(width) * height > kMaxPicturePixels)
            continue;
        try {
            if (sourceWidth < 0 || sourceHeight < 0) {
                copies[i] = std::make_unique<CRgbImage>(width, height, this, x, y, sourceWidth,
                                                        sourceHeight);
                continue;
            }
            copies[i].reset(new CRgbImage(width, height, CBlack()));
            targets.push_back(CResampleTarget{copies[i]->Pixels(), width, height});
        } catch (const std::bad_alloc &) {
            copies[i].reset();
        }
    }
    if (!targets.empty())
        ResampleArea(Pixels(), m_width, m_height, x, y, sourceWidth, sourceHeight, targets);
    return copies;
}

std::vector<std::unique_ptr<CPaletteImage>> CRgbImage::CropToPaletteImages(
    int x1, int y1, int x2, int y2, std::span<const QSize> sizes) const
{
    // The scaled crops all stretch the same rectangle, so they are made together.
    std::vector<CCropPlan> plans(sizes.size());
    std::vector<bool> planned(sizes.size());
    std::vector<QSize> scaledSizes;
    CCropPlan scaled;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        planned[i] = PlanCrop(m_width, m_height, x1, y1, x2, y2, sizes[i].width(),
                              sizes[i].height(), plans[i]);
        if (planned[i] && plans[i].sourceWidth >= 0 && plans[i].sourceHeight >= 0) {
            scaled = plans[i];
            scaledSizes.emplace_back(plans[i].width, plans[i].height);
        }
    }
    std::vector<std::unique_ptr<CRgbImage>> scaledCopies =
        ScaledCopies(scaled.x, scaled.y, scaled.sourceWidth, scaled.sourceHeight, scaledSizes);

    std::vector<std::unique_ptr<CPaletteImage>> faces(sizes.size());
    std::size_t nextScaled = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (!planned[i])
            continue;
        const CCropPlan &plan = plans[i];
        try {
            if (plan.sourceWidth >= 0 && plan.sourceHeight >= 0) {
                if (const auto &copy = scaledCopies[nextScaled++])
                    faces[i] = std::make_unique<CPaletteImage>(*copy);
            } else {
                const CRgbImage copy(plan.width, plan.height, this, plan.x, plan.y, -1, -1);
                faces[i] = std::make_unique<CPaletteImage>(copy);
            }
        } catch (const std::bad_alloc &) {
            faces[i].reset();
        }
    }
    return faces;
}

} // namespace quorvel
