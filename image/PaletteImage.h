#pragma once
// An 8-bit picture of indices into the game palette: the form in which companies store faces.

#include <QImage>

#include <cstdint>
#include <vector>

class QPainter;

namespace quorvel {

class CRgbImage;

class CPaletteImage
{
public:
    // Copies width x height indices, rows top to bottom (the stored face layout).
    CPaletteImage(const std::uint8_t *indices, int width, int height);
    // Copies are made on purpose only.
    explicit CPaletteImage(const CPaletteImage &other) = default;
    // Reduces the picture's colours to the palette by error diffusion.
    explicit CPaletteImage(const CRgbImage &source);

    CPaletteImage &operator=(const CPaletteImage &) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    const std::uint8_t *Indices() const { return m_indices.data(); }
    std::uint8_t IndexAt(int x, int y) const
    {
        return m_indices[std::size_t(y) * std::size_t(m_width) + std::size_t(x)];
    }

    // The indices as an Indexed8 image whose colour table is the game palette.
    QImage AsQImage() const;

    // As CRgbImage::Draw; every index, the reserved ones too, shows its palette colour.
    void Draw(QPainter &painter, int dx, int dy, int sx, int sy, int sw, int sh, int dw,
              int dh) const;

private:
    std::vector<std::uint8_t> m_indices;
    int m_width = 0;
    int m_height = 0;
};

// The game palette as a colour table for indexed QImages.
const QList<QRgb> &GamePaletteColorTable();

} // namespace quorvel
