#include "image/Loaders.h"
#include "image/GifCheck.h"
#include "image/LoaderSupport.h"
#include "image/QtReading.h"
#include "platform/Logging.h"

#include <QImageReader>

#include <algorithm>
#include <cstring>
#include <limits>

namespace quorvel {

namespace loaders {

namespace {

// Qt refuses images above its allocation limit (256 MB by default). The limit is set to what a
// four-byte-per-pixel picture of maxPixels takes, so that Qt allocates what our own size check
// lets through and refuses, before decoding, what it would not have.
void LimitAllocation(std::int64_t maxPixels)
{
    const std::int64_t megabytes = (maxPixels * 4 + (std::int64_t(1) << 20) - 1) / (1 << 20) + 1;
    QImageReader::setAllocationLimit(
        int(std::min<std::int64_t>(megabytes, std::numeric_limits<int>::max())));
}

} // namespace

bool TakePicture(CRgbImage &image, QImage picture, std::int64_t maxPixels, EPictureFormat format)
{
    if (!CheckSize(image, format, picture.width(), picture.height(), maxPixels))
        return false;
    const QImage::Format kind = picture.format();
    if (kind != QImage::Format_RGB888 && kind != QImage::Format_RGB32
        && kind != QImage::Format_ARGB32) {
        picture.convertTo(QImage::Format_ARGB32);
        if (picture.isNull() || picture.format() != QImage::Format_ARGB32) {
            qCDebug(lcImage) << PictureFormatName(format) << "could not be converted to colours";
            return Refuse(image, format, ELoadProblem::OutOfMemory);
        }
    }
    if (!ResetPicture(image, format, picture.width(), picture.height(), maxPixels))
        return false;
    const int width = picture.width();
    CRgbTriple *out = image.Pixels();
    for (int y = 0; y < picture.height(); ++y) {
        const uchar *line = picture.constScanLine(y);
        if (picture.format() == QImage::Format_RGB888) {
            std::memcpy(out, line, std::size_t(width) * 3);
            out += width;
            continue;
        }
        const QRgb *argb = reinterpret_cast<const QRgb *>(line);
        for (int x = 0; x < width; ++x, ++out)
            *out = CRgbTriple(std::uint8_t(qRed(argb[x])), std::uint8_t(qGreen(argb[x])),
                              std::uint8_t(qBlue(argb[x])));
    }
    return Succeed(image, format);
}

bool ReadWithQt(CRgbImage &image, QImageReader &reader, std::int64_t maxPixels,
                EPictureFormat format)
{
    const QSize size = reader.size();
    if (size.isValid() && !CheckSize(image, format, size.width(), size.height(), maxPixels))
        return false;
    LimitAllocation(maxPixels);
    // Read into a black picture of the right kind: whatever a reader skips stays black rather
    // than whatever the memory held.
    QImage picture;
    const QImage::Format kind = reader.imageFormat();
    if (size.isValid() && kind != QImage::Format_Invalid) {
        picture = QImage(size, kind);
        if (!picture.isNull())
            picture.fill(0);
    }
    if (!reader.read(&picture)) {
        qCDebug(lcImage) << PictureFormatName(format) << "not read:" << reader.errorString();
        return Refuse(image, format, ELoadProblem::Damaged);
    }
    return TakePicture(image, std::move(picture), maxPixels, format);
}

} // namespace loaders

using loaders::Shown;

bool LoadOtherPicture(CRgbImage &image, const QString &path, std::int64_t maxPixels)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray qtFormat = reader.format().toLower();
    if (qtFormat.isEmpty()) {
        qCDebug(lcImage) << Shown(path) << "is no picture Qt reads:" << reader.errorString();
        return false;
    }
    if (qtFormat == "jpeg" || qtFormat == "jpg" || qtFormat == "bmp" || qtFormat == "dib"
        || qtFormat == "ppm" || qtFormat == "png") {
        qCDebug(lcImage) << Shown(path) << "is a" << qtFormat << "file its own loader refused";
        return false;
    }
    const EPictureFormat format = PictureFormatOfFile(path);
    if (format == EPictureFormat::Gif && loaders::GifCutShort(path))
        return loaders::Refuse(image, format, ELoadProblem::Damaged);
    return loaders::ReadWithQt(image, reader, maxPixels, format);
}

bool LoadFromQImage(CRgbImage &image, const QImage &picture, std::int64_t maxPixels)
{
    return !picture.isNull()
        && loaders::TakePicture(image, picture, maxPixels, EPictureFormat::Unknown);
}

} // namespace quorvel
