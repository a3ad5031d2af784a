#include "image/Loaders.h"
#include "image/LoaderSupport.h"

#include "image/JpegStream.h"
#include "platform/Logging.h"

#include <turbojpeg.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace quorvel {

using loaders::Refuse;
using loaders::ResetPicture;
using loaders::SizeAcceptable;
using loaders::Succeed;

bool LoadJpeg(CRgbImage &image, const std::uint8_t *data, std::size_t size,
              std::int64_t maxPixels)
{
    if (size == 0 || size > std::numeric_limits<unsigned long>::max())
        return false;
    const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    if (!decoder) {
        qCDebug(lcImage) << "JPEG: the decoder cannot start:" << tjGetErrorStr2(nullptr);
        return false;
    }
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(decoder.get(), data, static_cast<unsigned long>(size), &width, &height,
                            &subsampling, &colourspace) < 0) {
        qCDebug(lcImage) << "JPEG: no header:" << tjGetErrorStr2(decoder.get());
        return false;
    }
    if (!SizeAcceptable(width, height, maxPixels, "JPEG"))
        return false;
    if (!image.Reset(width, height, maxPixels)) {
        qCDebug(lcImage) << "JPEG refused: not enough memory for" << width << "x" << height;
        return false;
    }
    auto *out = reinterpret_cast<unsigned char *>(image.Pixels());
    // Scan limits guard against progressive files built to take forever.
    if (tjDecompress2(decoder.get(), data, static_cast<unsigned long>(size), out, width, 0, height,
                      TJPF_RGB, TJFLAG_LIMITSCANS) < 0) {
        qCDebug(lcImage) << "JPEG: bad picture data:" << tjGetErrorStr2(decoder.get());
        // A failed decode may have written part of the picture; the result is all black.
        std::fill(image.Pixels(), image.Pixels() + std::size_t(width) * std::size_t(height),
                  CRgbTriple());
        return false;
    }
    return true;
}

bool LoadJpeg(CRgbImage &image, const QString &path, std::int64_t maxPixels)
{
    // Decoded from the file a few rows at a time straight into the picture, so that the file
    // is never held in memory beside it.
    CJpegStream stream(path, maxPixels);
    if (!stream.IsOpen()) {
        if (stream.Problem() != ELoadProblem::None) {
            Refuse(image, EPictureFormat::Jpeg, stream.Problem());
            image.LoadReport().width = stream.HeaderWidth();
            image.LoadReport().height = stream.HeaderHeight();
        }
        return false;
    }
    const int width = stream.Width();
    const int height = stream.Height();
    if (!ResetPicture(image, EPictureFormat::Jpeg, width, height, maxPixels))
        return false;
    constexpr int RowsPerRead = 16;
    std::uint8_t *rows[RowsPerRead];
    bool good = stream.Start();
    while (good && stream.RowsDone() < height) {
        const int first = stream.RowsDone();
        const int count = std::min(RowsPerRead, height - first);
        for (int i = 0; i < count; ++i)
            rows[i] = reinterpret_cast<std::uint8_t *>(
                image.Pixels() + std::size_t(first + i) * std::size_t(width));
        good = stream.ReadRows(rows, count) > 0;
    }
    if (good && stream.Finish())
        return Succeed(image, EPictureFormat::Jpeg);
    qCDebug(lcImage) << "JPEG: bad picture data:" << stream.Message();
    // Part of the picture may have been written; the result is all black.
    std::fill(image.Pixels(), image.Pixels() + std::size_t(width) * std::size_t(height),
              CRgbTriple());
    return Refuse(image, EPictureFormat::Jpeg, ELoadProblem::Damaged);
}

} // namespace quorvel
