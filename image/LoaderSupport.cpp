#include "image/LoaderSupport.h"

#include "platform/Logging.h"

#include <QFileInfo>

namespace quorvel::loaders {

QString Shown(const QString &path)
{
    return QFileInfo(path).fileName();
}

bool SizeAcceptable(std::int64_t width, std::int64_t height, std::int64_t maxPixels,
                    const char *what)
{
    if (width < 1 || height < 1) {
        qCDebug(lcImage) << what << "refused: size" << width << "x" << height;
        return false;
    }
    if (width * height > maxPixels) {
        qCDebug(lcImage) << what << "refused: size" << width << "x" << height
                         << "is more than" << maxPixels << "pixels";
        return false;
    }
    return true;
}

std::uint32_t LittleEndian(const QByteArray &bytes, int offset, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | uchar(bytes[offset + i]);
    return value;
}

} // namespace quorvel::loaders
