#include "image/Loaders.h"
#include "image/LoaderSupport.h"

#include "image/JpegStream.h"
#include "platform/Logging.h"

#include <algorithm>
#include <limits>
#include <memory>

namespace quorvel {

bool LoadJpeg(CRgbImage &image, const QString &path, std::int64_t maxPixels)
{
    // Decoded from the file a few rows at a time straight into the picture, so that the file
    // is never held in memory beside it.
    CJpegStream stream(path, maxPixels);
    return DecodeRows(image, stream, maxPixels);
}

} // namespace quorvel
