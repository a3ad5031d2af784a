#include "image/Loaders.h"
#include "image/GifCheck.h"
#include "image/LoaderSupport.h"
#include "image/ColourProfile.h"
#include "image/Exif.h"
#include "image/QtReading.h"
#include "platform/Logging.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace quorvel {

namespace loaders {

using loaders::LittleEndian;

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

EOrientation OrientationOfTransformation(QImageIOHandler::Transformations turn)
{
    using T = QImageIOHandler;
    switch (int(turn)) {
    case T::TransformationMirror:
        return EOrientation::MirroredLeftRight;
    case T::TransformationRotate180:
        return EOrientation::Rotated180;
    case T::TransformationFlip:
        return EOrientation::MirroredTopBottom;
    case T::TransformationFlipAndRotate90:
        return EOrientation::Transposed;
    case T::TransformationRotate90:
        return EOrientation::RotatedClockwise;
    case T::TransformationMirrorAndRotate90:
        return EOrientation::Transversed;
    case T::TransformationRotate270:
        return EOrientation::RotatedCounterClockwise;
    default:
        return EOrientation::Upright;
    }
}

// A WebP file is a RIFF file: "RIFF", a size, "WEBP", then chunks of a four-letter name, a size
// (least significant byte first) and the data, padded to an even length. The orientation of
// its EXIF chunk, if it has one.
EOrientation WebPOrientation(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(12).mid(8) != "WEBP")
        return EOrientation::Upright;
    constexpr quint32 MaxExifBytes = 1 << 20;
    for (int chunk = 0; chunk < 1000; ++chunk) {
        const QByteArray header = file.read(8);
        if (header.size() < 8)
            break;
        const quint32 size = LittleEndian(header, 4, 4);
        if (header.left(4) == "EXIF" && size <= MaxExifBytes) {
            const QByteArray data = file.read(size);
            return ExifOrientation(reinterpret_cast<const std::uint8_t *>(data.constData()),
                                   std::size_t(data.size()));
        }
        if (!file.seek(file.pos() + qint64(size) + (size & 1)))
            break;
    }
    return EOrientation::Upright;
}

} // namespace

bool TakePicture(CRgbImage &image, QImage picture, std::int64_t maxPixels, EPictureFormat format,
                 EOrientation orientation)
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
    const int width = picture.width(), height = picture.height();
    const bool swapped = SwapsAxes(orientation);
    if (!ResetPicture(image, format, swapped ? height : width, swapped ? width : height, maxPixels))
        return false;
    // The profile Qt's reader found, applied as the colours are taken.
    const CColourConverter colours(picture.colorSpace().isValid() ? picture.colorSpace().iccProfile()
                                                                  : QByteArray(),
                                   EColourInput::Rgb);
    CUprightWriter writer(image.Pixels(), width, height, orientation);
    std::vector<CRgbTriple> row(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        const uchar *line = picture.constScanLine(y);
        if (picture.format() == QImage::Format_RGB888) {
            std::memcpy(row.data(), line, std::size_t(width) * 3);
        } else {
            const QRgb *argb = reinterpret_cast<const QRgb *>(line);
            for (int x = 0; x < width; ++x)
                row[std::size_t(x)] = CRgbTriple(std::uint8_t(qRed(argb[x])), std::uint8_t(qGreen(argb[x])),
                                                 std::uint8_t(qBlue(argb[x])));
        }
        auto *bytes = reinterpret_cast<std::uint8_t *>(row.data());
        colours.Convert(bytes, bytes, width);
        const CRgbTriple *rows[] = {row.data()};
        writer.PutRows(y, 1, rows);
    }
    image.LoadReport().notes.append(colours.Notes());
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
    // The turn that Qt's reader found (TIFF's orientation tag), else WebP's EXIF chunk's.
    EOrientation orientation = OrientationOfTransformation(reader.transformation());
    if (orientation == EOrientation::Upright && format == EPictureFormat::WebP)
        orientation = WebPOrientation(reader.fileName());
    return TakePicture(image, std::move(picture), maxPixels, format, orientation);
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
        && loaders::TakePicture(image, picture, maxPixels, EPictureFormat::Unknown,
                                EOrientation::Upright);
}

} // namespace quorvel
