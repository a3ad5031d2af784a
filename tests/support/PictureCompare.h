#pragma once
// Pictures' pixels side by side, for the loader tests.

#include "image/RgbImage.h"

#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <cstdlib>

namespace quorvel::test {

// The picture's colours as red, green, blue bytes, rows top to bottom.
inline QByteArray RawBytes(const QImage &picture)
{
    QByteArray bytes;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = picture.pixel(x, y);
            bytes.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
        }
    return bytes;
}

inline QByteArray ImageBytes(const CRgbImage &image)
{
    return QByteArray(reinterpret_cast<const char *>(image.Pixels()),
                      qsizetype(image.Width()) * image.Height() * 3);
}

// The largest difference of any sample between two pictures of the same size; -1 for
// pictures of different sizes.
inline int LargestDifference(const CRgbImage &image, const QImage &reference)
{
    const QImage rgb = reference.convertToFormat(QImage::Format_RGB888);
    if (rgb.width() != image.Width() || rgb.height() != image.Height())
        return -1;
    int largest = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar *line = rgb.constScanLine(y);
        const auto *pixels = reinterpret_cast<const uchar *>(image.Pixels() + std::size_t(y) * image.Width());
        for (int i = 0; i < rgb.width() * 3; ++i)
            largest = std::max(largest, std::abs(int(line[i]) - int(pixels[i])));
    }
    return largest;
}

} // namespace quorvel::test
