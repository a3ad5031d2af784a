#include "ui/FaceClipboard.h"

#include "company/QuorvelDoc.h"
#include "image/PaletteImage.h"
#include "image/PalettePng.h"

#include <QBuffer>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

namespace quorvel {

namespace {

// Tells the type's first layout from any later one.
constexpr char kTag[4] = {'Q', 'F', 'C', '1'};
constexpr qsizetype kFacesBytes = qsizetype(sizeof kTag) + kSmallFaceBytes + kLargeFaceBytes;

} // namespace

std::optional<CFacePair> DocumentFaces(const CQuorvelDoc &document, std::uint32_t bit)
{
    CFacePair faces;
    if (!document.Record().GetFaces(bit, faces.small.data(), faces.large.data()))
        return std::nullopt;
    return faces;
}

std::unique_ptr<QMimeData> FacesToMimeData(const CFacePair &faces)
{
    auto mime = std::make_unique<QMimeData>();
    QByteArray bytes;
    bytes.reserve(kFacesBytes);
    bytes.append(kTag, sizeof kTag);
    bytes.append(reinterpret_cast<const char *>(faces.small.data()), kSmallFaceBytes);
    bytes.append(reinterpret_cast<const char *>(faces.large.data()), kLargeFaceBytes);
    mime->setData(QLatin1String(kFacesMimeType), bytes);

    const CPaletteImage large(faces.large.data(), kLargeFaceSide, kLargeFaceSide);
    mime->setImageData(large.AsQImage().convertToFormat(QImage::Format_RGB32));
    QByteArray png;
    QBuffer buffer(&png);
    if (buffer.open(QIODevice::WriteOnly)
        && WritePalettePng(buffer, faces.large.data(), kLargeFaceSide, kLargeFaceSide))
        mime->setData(QStringLiteral("image/png"), png);
    return mime;
}

std::optional<CFacePair> FacesFromMimeData(const QMimeData *mime)
{
    if (!mime || !mime->hasFormat(QLatin1String(kFacesMimeType)))
        return std::nullopt;
    const QByteArray bytes = mime->data(QLatin1String(kFacesMimeType));
    if (bytes.size() != kFacesBytes || !std::equal(kTag, kTag + sizeof kTag, bytes.constData()))
        return std::nullopt;
    CFacePair faces;
    const char *at = bytes.constData() + sizeof kTag;
    std::copy_n(at, kSmallFaceBytes, reinterpret_cast<char *>(faces.small.data()));
    std::copy_n(at + kSmallFaceBytes, kLargeFaceBytes, reinterpret_cast<char *>(faces.large.data()));
    return faces;
}

bool HoldsPicture(const QMimeData *mime)
{
    if (!mime)
        return false;
    if (mime->hasImage())
        return true;
    const QList<QUrl> urls = mime->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); });
}

} // namespace quorvel
