#include "image/Loaders.h"
#include "image/LoaderSupport.h"
#include "image/QtReading.h"
#include "platform/Logging.h"

#include <QFile>
#include <QImageReader>

#include <cstdlib>

namespace quorvel {

using loaders::LittleEndian;
using loaders::Refuse;
using loaders::Shown;

namespace {

constexpr std::uint32_t RunLength8 = 1, RunLength4 = 2;

// Qt's run-length decoder stops quietly where the data ends too. A run-length bitmap is
// whole when its codes reach the end-of-bitmap mark, or end every row, before the file ends.
bool RunLengthCutShort(QFile &file, std::uint32_t dataStart, std::int64_t rows, bool fourBit)
{
    if (!file.seek(dataStart))
        return true;
    const auto next = [&file](uchar &byte) {
        char c = 0;
        if (!file.getChar(&c))
            return false;
        byte = uchar(c);
        return true;
    };
    std::int64_t rowsEnded = 0;
    for (;;) {
        uchar count = 0, code = 0;
        if (!next(count) || !next(code))
            return true;
        if (count > 0)
            continue; // a run of one value
        if (code == 0) { // end of row
            if (++rowsEnded >= rows)
                return false;
        } else if (code == 1) { // end of bitmap
            return false;
        } else if (code == 2) { // move right and up
            uchar right = 0, up = 0;
            if (!next(right) || !next(up))
                return true;
            rowsEnded += up;
            if (rowsEnded >= rows)
                return false;
        } else { // code pixels given one by one, padded to an even number of bytes
            const int bytes = fourBit ? (code + 1) / 2 : code;
            for (int i = 0; i < (bytes + 1) / 2 * 2; ++i) {
                if (!next(count))
                    return true;
            }
        }
    }
}

// Qt's bitmap reader quietly accepts a file cut short. An uncompressed bitmap (the headers say
// where its rows start and how long they are) must hold all of its rows.
bool BitmapCutShort(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(34);
    if (header.size() < 34 || !header.startsWith("BM"))
        return false;
    const std::uint32_t dataStart = LittleEndian(header, 10, 4);
    const std::uint32_t infoSize = LittleEndian(header, 14, 4);
    std::int64_t width = 0, height = 0, bitCount = 0;
    std::uint32_t compression = 0;
    if (infoSize == 12) { // the old core header: 16-bit sizes, no compression
        width = LittleEndian(header, 18, 2);
        height = LittleEndian(header, 20, 2);
        bitCount = LittleEndian(header, 24, 2);
    } else {
        compression = LittleEndian(header, 30, 4);
        constexpr std::uint32_t Uncompressed = 0, BitFields = 3, AlphaBitFields = 6;
        if (compression != Uncompressed && compression != BitFields
            && compression != AlphaBitFields && compression != RunLength8
            && compression != RunLength4)
            return false;
        width = std::int32_t(LittleEndian(header, 18, 4));
        height = std::int32_t(LittleEndian(header, 22, 4));
        bitCount = LittleEndian(header, 28, 2);
    }
    if (width <= 0 || height == 0 || bitCount <= 0 || bitCount > 32)
        return false; // left to the reader to refuse
    if (compression == RunLength8 || compression == RunLength4) {
        if (!RunLengthCutShort(file, dataStart, std::abs(height), compression == RunLength4))
            return false;
        qCDebug(lcImage) << "Bitmap:" << Shown(path) << "is cut short: its run-length data ends early";
        return true;
    }
    const std::int64_t rowBytes = (width * bitCount + 31) / 32 * 4;
    const std::int64_t rowsThere = (file.size() - std::int64_t(dataStart)) / rowBytes;
    if (file.size() < std::int64_t(dataStart) || rowsThere < std::abs(height)) {
        qCDebug(lcImage) << "Bitmap:" << Shown(path) << "is cut short: room for" << rowsThere
                         << "rows of" << std::abs(height);
        return true;
    }
    return false;
}

} // namespace

bool LoadBmp(CRgbImage &image, const QString &path, std::int64_t maxPixels)
{
    QImageReader reader(path, "bmp");
    // Only the bitmap reader: a file of another kind under a .bmp name is not a bitmap.
    reader.setAutoDetectImageFormat(false);
    if (BitmapCutShort(path))
        return Refuse(image, EPictureFormat::Bmp, ELoadProblem::Damaged);
    // Qt's reader may take files the content check does not know; those failing say nothing.
    const bool bitmap = PictureFormatOfFile(path) == EPictureFormat::Bmp;
    return loaders::ReadWithQt(image, reader, maxPixels,
                               bitmap ? EPictureFormat::Bmp : EPictureFormat::Unknown);
}

} // namespace quorvel
