#include "image/PaletteImage.h"

#include "image/HilbertDither.h"
#include "image/RgbImage.h"

#include <QPainter>

#include <algorithm>

namespace quorvel {

CPaletteImage::CPaletteImage(const std::uint8_t *indices, int width, int height)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0))
{
    const std::size_t count = std::size_t(m_width) * std::size_t(m_height);
    if (count > 0 && indices)
        m_indices.assign(indices, indices + count);
    else
        m_indices.assign(count, 0);
}

CPaletteImage::CPaletteImage(const CRgbImage &source)
    : m_indices(ReduceToPalette(source.Pixels(), source.Width(), source.Height())),
      m_width(source.Width()), m_height(source.Height())
{
}

const QList<QRgb> &GamePaletteColorTable()
{
    static const QList<QRgb> table = [] {
        QList<QRgb> colours;
        colours.reserve(256);
        for (const CRgbTriple &entry : GamePalette)
            colours.append(qRgb(entry.red, entry.green, entry.blue));
        return colours;
    }();
    return table;
}

QImage CPaletteImage::AsQImage() const
{
    if (m_width <= 0 || m_height <= 0)
        return QImage();
    QImage image(m_indices.data(), m_width, m_height, m_width, QImage::Format_Indexed8);
    image.setColorTable(GamePaletteColorTable());
    return image;
}

void CPaletteImage::Draw(QPainter &painter, int dx, int dy, int sx, int sy, int sw, int sh,
                         int dw, int dh) const
{
    if (dw < 0 || dh < 0) {
        DrawImageBlock(painter, AsQImage(), dx, dy, sx, sy, sw < 0 ? m_width : sw,
                       sh < 0 ? m_height : sh);
        return;
    }
    // Faces are small: scale through their colours exactly as a true-colour picture is scaled.
    CRgbImage(*this).Draw(painter, dx, dy, sx, sy, sw, sh, dw, dh);
}

} // namespace quorvel
