#pragma once
// The true-colour picture: a picture file opened for grabbing, a stored face turned back into
// colours, or the intermediate of a crop. Pixels are red, green, blue, rows top to bottom, packed.

#include "image/LoadReport.h"
#include "image/Palette.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class QPainter;

namespace quorvel {

class CPaletteImage;

// The largest picture any loader takes: 1 GB of colour (about 358 megapixels, far beyond any
// camera). Larger headers are refused before anything is allocated, so a hostile file cannot
// exhaust memory.
inline constexpr std::int64_t kMaxPicturePixels = (std::int64_t(1) << 30) / 3;

class CRgbImage
{
public:
    // Loads a picture file; the loaders are chosen by the file name's extension (see Loaders.h).
    // Starts as one black pixel and keeps whatever the loaders leave, even when none succeeds.
    explicit CRgbImage(const QString &path, std::int64_t maxPixels = kMaxPicturePixels);

    // Each pixel the palette colour of the corresponding index.
    explicit CRgbImage(const CPaletteImage &source);

    // A width x height picture taken from the rectangle (x, y, sourceWidth, sourceHeight) of a
    // source image: area-averaged onto the whole picture, or, when either source extent is
    // negative, copied unscaled from (x, y) with black where the block leaves the source.
    // Without a source it is the no-picture image: dark red (palette index 62) crossed by two
    // black diagonals. Negative sizes count as 0.
    CRgbImage(int width, int height, const CRgbImage *source = nullptr, int x = 0, int y = 0,
              int sourceWidth = 0, int sourceHeight = 0);

    CRgbImage(const CRgbImage &) = delete;
    CRgbImage &operator=(const CRgbImage &) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    const CRgbTriple *Pixels() const { return m_pixels.get(); }
    CRgbTriple *Pixels() { return m_pixels.get(); }
    const CRgbTriple &PixelAt(int x, int y) const
    {
        return m_pixels[std::size_t(y) * std::size_t(m_width) + std::size_t(x)];
    }

    // False only after the file constructor when no loader read the picture whole.
    bool IsLoaded() const { return m_loaded; }
    // What the file constructor's loaders found; the loaders fill it in.
    const CLoadReport &LoadReport() const { return m_report; }
    CLoadReport &LoadReport() { return m_report; }

    // Replaces the picture with width x height black pixels. Refuses (false, image unchanged)
    // a width or height below 1, more than maxPixels pixels, or a buffer that cannot be had.
    bool Reset(int width, int height, std::int64_t maxPixels = kMaxPicturePixels);

    // Takes the other picture's pixels and size over, leaving it empty (0 x 0).
    void TakePixels(CRgbImage &other);

    // A read-only view of the pixels (RGB888, no copy); valid while the image lives unchanged.
    QImage AsQImage() const;

    // Paints the source rectangle (sx, sy, sw, sh) at (dx, dy). With dw or dh negative it is a
    // 1:1 block of sw x sh (a negative sw or sh meaning the image's width or height), cut to the
    // image. Otherwise the rectangle is area-averaged onto dw x dh exactly as the grab
    // constructor does, so a preview shows the very pixels a face will be made from.
    void Draw(QPainter &painter, int dx, int dy, int sx, int sy, int sw, int sh, int dw,
              int dh) const;

    // Cuts the rectangle with corners (x1, y1) and (x2, y2), scales it to tw x th and reduces it
    // to the palette. When both targets are negative, or equal the rectangle's size after it is
    // ordered and cut to the picture, the pixels are copied unchanged; otherwise the rectangle
    // (x1, y1, x2 - x1, y2 - y1) is taken as given by the grab constructor. Null when the
    // intermediate picture cannot be made (a target too large for memory).
    std::unique_ptr<CPaletteImage> CropToPaletteImage(int x1, int y1, int x2, int y2, int tw,
                                                      int th) const;

    // The pictures the grab constructor makes from the rectangle (x, y, sourceWidth,
    // sourceHeight) of this image at each of the sizes, the area-averaged ones made together in
    // one pass over the rows: a face's two previews for the price of one. Null where a size is
    // too large for memory.
    std::vector<std::unique_ptr<CRgbImage>> ScaledCopies(int x, int y, int sourceWidth,
                                                         int sourceHeight,
                                                         std::span<const QSize> sizes) const;

    // CropToPaletteImage of one rectangle at each of the sizes: result i equals
    // CropToPaletteImage(x1, y1, x2, y2, sizes[i].width(), sizes[i].height()), but the
    // picture is read once for all of them.
    std::vector<std::unique_ptr<CPaletteImage>> CropToPaletteImages(
        int x1, int y1, int x2, int y2, std::span<const QSize> sizes) const;

private:
    struct CBlack
    {
    };
    // width x height black pixels.
    CRgbImage(int width, int height, CBlack);

    void AllocateBlack(int width, int height);
    void DrawNoPicture();
    void DrawLine(int x0, int y0, int x1, int y1, const CRgbTriple &colour);
    void CopyBlock(const CRgbImage &source, int x, int y);

    struct CFreePixels
    {
        CFreePixels() noexcept : largeBytes(0) {}
        explicit CFreePixels(std::size_t bytes) noexcept : largeBytes(bytes) {}
        void operator()(CRgbTriple *pixels) const noexcept;
        std::size_t largeBytes; // the size AllocateLargePages gave, 0 for calloc's memory
    };
    using CPixels = std::unique_ptr<CRgbTriple[], CFreePixels>;
    // count black pixels; throws std::bad_alloc when they cannot be had.
    static CPixels AllocateBlackPixels(std::size_t count);

    CPixels m_pixels;
    std::size_t m_pixelCount = 0;
    int m_width = 0;
    int m_height = 0;
    bool m_loaded = true;
    CLoadReport m_report;
};

// How CropToPaletteImage makes its intermediate picture on a picture of the given size: the
// arguments of the grab constructor, sourceWidth and sourceHeight -1 for an unscaled copy.
// False when the target is too large to be made.
struct CCropPlan
{
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
    int sourceWidth = 0;
    int sourceHeight = 0;
};
bool PlanCrop(int pictureWidth, int pictureHeight, int x1, int y1, int x2, int y2, int tw, int th,
              CCropPlan &plan);

// Paints the part of the block (sx, sy, sw, sh) of an image that lies on it, the block's corner
// at (dx, dy); what the image draws 1:1 goes through here.
void DrawImageBlock(QPainter &painter, const QImage &image, int dx, int dy, int sx, int sy,
                    int sw, int sh);

} // namespace quorvel
