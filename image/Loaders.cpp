#include "image/Loaders.h"
#include "image/LoaderSupport.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace quorvel {

using loaders::LittleEndian;

namespace {

bool HasExtension(const QString &extension, const char *wanted)
{
    return extension.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0;
}

} // namespace

EPictureLoaders LoadersFor(const QString &path)
{
    // The extension is the file name's, from its last "." on.
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot);

    if (HasExtension(extension, ".jpg") || HasExtension(extension, ".jpeg"))
        return EPictureLoaders::Jpeg;
    if (HasExtension(extension, ".ppm"))
        return EPictureLoaders::Ppm;
    if (HasExtension(extension, ".bmp"))
        return EPictureLoaders::Bmp;
    return EPictureLoaders::Any;
}

bool LoadPicture(CRgbImage &image, const QString &path, std::int64_t maxPixels)
{
    switch (LoadersFor(path)) {
    case EPictureLoaders::Jpeg:
        return LoadJpeg(image, path, maxPixels);
    case EPictureLoaders::Ppm:
        return LoadPpm(image, path, maxPixels);
    case EPictureLoaders::Bmp:
        return LoadBmp(image, path, maxPixels);
    case EPictureLoaders::Any:
        break;
    }
    return LoadJpeg(image, path, maxPixels) || LoadPpm(image, path, maxPixels)
        || LoadBmp(image, path, maxPixels) || LoadOtherPicture(image, path, maxPixels);
}

EPictureFormat PictureFormatOfContent(const QByteArray &head)
{
    const auto startsWith = [&head](qsizetype at, const char *bytes, qsizetype size) {
        return head.size() >= at + size && std::memcmp(head.constData() + at, bytes, std::size_t(size)) == 0;
    };
    if (startsWith(0, "\xFF\xD8\xFF", 3))
        return EPictureFormat::Jpeg;
    if (startsWith(0, "\x89PNG\r\n\x1A\n", 8))
        return EPictureFormat::Png;
    // "BM" alone starts many a text; a bitmap's info header has one of a few sizes.
    if (startsWith(0, "BM", 2) && head.size() >= 18) {
        constexpr std::uint32_t infoSizes[] = {12, 16, 40, 52, 56, 64, 108, 124};
        if (std::find(std::begin(infoSizes), std::end(infoSizes), LittleEndian(head, 14, 4))
            != std::end(infoSizes))
            return EPictureFormat::Bmp;
    }
    if (startsWith(0, "GIF87a", 6) || startsWith(0, "GIF89a", 6))
        return EPictureFormat::Gif;
    if (startsWith(0, "II*\0", 4) || startsWith(0, "MM\0*", 4))
        return EPictureFormat::Tiff;
    if (startsWith(0, "RIFF", 4) && startsWith(8, "WEBP", 4))
        return EPictureFormat::WebP;
    // The PPM loader lets blanks and comments come before the "P".
    qsizetype at = 0;
    while (at < head.size()) {
        const char c = head[at];
        if (c == '#') {
            while (at < head.size() && head[at] != '\n' && head[at] != '\r')
                ++at;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++at;
        } else {
            break;
        }
    }
    if (at + 1 < head.size() && head[at] == 'P') {
        switch (head[at + 1]) {
        case '3':
        case '6':
            return EPictureFormat::Ppm;
        case '2':
        case '5':
            return EPictureFormat::Pgm;
        case '1':
        case '4':
            return EPictureFormat::Pbm;
        default:
            break;
        }
    }
    return EPictureFormat::Unknown;
}

EPictureFormat PictureFormatOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return EPictureFormat::Unknown;
    // Enough for every signature, and for a short comment before a PPM's "P".
    return PictureFormatOfContent(file.read(256));
}

QString PictureFormatName(EPictureFormat format)
{
    switch (format) {
    case EPictureFormat::Unknown:
        break;
    case EPictureFormat::Jpeg:
        return QStringLiteral("JPEG");
    case EPictureFormat::Png:
        return QStringLiteral("PNG");
    case EPictureFormat::Bmp:
        return QStringLiteral("BMP");
    case EPictureFormat::Gif:
        return QStringLiteral("GIF");
    case EPictureFormat::Ppm:
        return QStringLiteral("PPM");
    case EPictureFormat::Pgm:
        return QStringLiteral("PGM");
    case EPictureFormat::Pbm:
        return QStringLiteral("PBM");
    case EPictureFormat::Tiff:
        return QStringLiteral("TIFF");
    case EPictureFormat::WebP:
        return QStringLiteral("WebP");
    }
    return QString();
}

} // namespace quorvel
