#include "image/LoaderSupport.h"

#include "image/RgbImage.h"
#include "platform/Logging.h"

#include "image/Loaders.h"

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

bool Refuse(CRgbImage &image, EPictureFormat format, ELoadProblem problem, const QString &detail)
{
    if (format == EPictureFormat::Unknown)
        return false;
    CLoadReport &report = image.LoadReport();
    report.format = format;
    report.problem = problem;
    report.detail = detail;
    return false;
}

bool CheckSize(CRgbImage &image, EPictureFormat format, std::int64_t width, std::int64_t height,
               std::int64_t maxPixels)
{
    if (SizeAcceptable(width, height, maxPixels, qPrintable(PictureFormatName(format))))
        return true;
    if (Refuse(image, format, width < 1 || height < 1 ? ELoadProblem::Damaged : ELoadProblem::TooLarge)
        || format == EPictureFormat::Unknown)
        return false;
    image.LoadReport().width = width;
    image.LoadReport().height = height;
    return false;
}

bool ResetPicture(CRgbImage &image, EPictureFormat format, int width, int height,
                  std::int64_t maxPixels)
{
    if (image.Reset(width, height, maxPixels))
        return true;
    qCDebug(lcImage) << PictureFormatName(format) << "refused: not enough memory for" << width
                     << "x" << height;
    Refuse(image, format, ELoadProblem::OutOfMemory);
    image.LoadReport().width = width;
    image.LoadReport().height = height;
    return false;
}

bool Succeed(CRgbImage &image, EPictureFormat format)
{
    CLoadReport &report = image.LoadReport();
    report.format = format;
    report.problem = ELoadProblem::None;
    report.detail.clear();
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
