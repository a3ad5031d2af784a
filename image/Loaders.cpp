#include "image/Loaders.h"

#include "image/JpegStream.h"

#include "platform/LargeBuffer.h"
#include "platform/Logging.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <turbojpeg.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace quorvel {

namespace {

constexpr std::size_t ReaderBufferSize = 64 * 1024;

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

// ---------------------------------------------------------------------------------------------
// PPM
//
// The header is four items: "P" and the magic number (3 plain, 6 raw), width, height and the
// largest sample value, each item preceded by blanks and "#" comments and read as a decimal
// integer (leading white space, an optional sign, digits). Exactly one character follows the
// header. Then width x height pixels of three samples, red, green, blue: decimal numbers
// separated like header items (P3), or one byte each (P6).

bool IsFormattedSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips white space and an optional sign, then reads the digits of a decimal integer into
// `magnitude` (saturating). False when no digit follows. The first non-digit is put back.
bool ScanDecimal(CPpmReader &in, bool &negative, std::uint64_t &magnitude, std::uint8_t &lowByte)
{
    int c = in.Get();
    while (IsFormattedSpace(c))
        c = in.Get();
    negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = in.Get();
    }
    if (c < '0' || c > '9') {
        in.Unget(c);
        return false;
    }
    constexpr std::uint64_t Ceiling = std::uint64_t(1) << 40;
    magnitude = 0;
    unsigned low = 0;
    do {
        magnitude = std::min(magnitude * 10 + unsigned(c - '0'), Ceiling);
        low = (low * 10 + unsigned(c - '0')) & 0xFFu;
        c = in.Get();
    } while (c >= '0' && c <= '9');
    in.Unget(c);
    lowByte = std::uint8_t(negative ? (0u - low) & 0xFFu : low);
    return true;
}

// A header item: false when nothing reads or the value does not fit an int.
bool ScanInt(CPpmReader &in, int &value)
{
    bool negative = false;
    std::uint64_t magnitude = 0;
    std::uint8_t lowByte = 0;
    if (!ScanDecimal(in, negative, magnitude, lowByte))
        return false;
    const std::uint64_t limit = negative ? std::uint64_t(std::numeric_limits<int>::max()) + 1
                                         : std::uint64_t(std::numeric_limits<int>::max());
    if (magnitude > limit)
        return false;
    value = negative ? int(-std::int64_t(magnitude)) : int(magnitude);
    return true;
}

bool ReadPpmHeader(CPpmReader &in, int &magic, int &width, int &height, int &maxval)
{
    SkipPpmSpace(in);
    const int p = in.Get();
    if (p != 'P') {
        qCDebug(lcImage) << "PPM: no \"P\" at the start";
        return false;
    }
    if (!ScanInt(in, magic)) {
        qCDebug(lcImage) << "PPM: no magic number";
        return false;
    }
    SkipPpmSpace(in);
    if (!ScanInt(in, width)) {
        qCDebug(lcImage) << "PPM: no width";
        return false;
    }
    SkipPpmSpace(in);
    if (!ScanInt(in, height)) {
        qCDebug(lcImage) << "PPM: no height";
        return false;
    }
    SkipPpmSpace(in);
    if (!ScanInt(in, maxval)) {
        qCDebug(lcImage) << "PPM: no largest sample value";
        return false;
    }
    if (maxval > 255) {
        qCDebug(lcImage) << "PPM: samples of more than eight bits (maxval" << maxval << ")";
        return false;
    }
    in.Get(); // the one character that ends the header
    return true;
}

// ---------------------------------------------------------------------------------------------
// Pictures read through Qt (bitmaps and the other formats)

void AllowAllocation(std::int64_t pixels)
{
    // Qt refuses images above its allocation limit (256 MB by default); our own size check has
    // already passed, so let Qt allocate a four-byte-per-pixel picture of that size.
    const std::int64_t megabytes = (pixels * 4 + (std::int64_t(1) << 20) - 1) / (1 << 20) + 1;
    const int wanted = int(std::min<std::int64_t>(megabytes, std::numeric_limits<int>::max()));
    if (QImageReader::allocationLimit() != 0 && QImageReader::allocationLimit() < wanted)
        QImageReader::setAllocationLimit(wanted);
}

// Copies a decoded picture's colours into the image; alpha, where there is any, is ignored.
bool TakePicture(CRgbImage &image, QImage picture, std::int64_t maxPixels, const char *what)
{
    if (!SizeAcceptable(picture.width(), picture.height(), maxPixels, what))
        return false;
    const QImage::Format format = picture.format();
    if (format != QImage::Format_RGB888 && format != QImage::Format_RGB32
        && format != QImage::Format_ARGB32) {
        picture.convertTo(QImage::Format_ARGB32);
        if (picture.isNull() || picture.format() != QImage::Format_ARGB32) {
            qCDebug(lcImage) << what << "could not be converted to colours";
            return false;
        }
    }
    if (!image.Reset(picture.width(), picture.height(), maxPixels)) {
        qCDebug(lcImage) << what << "refused: not enough memory";
        return false;
    }
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
    return true;
}

bool ReadWithQt(CRgbImage &image, QImageReader &reader, std::int64_t maxPixels, const char *what)
{
    const QSize size = reader.size();
    if (size.isValid()) {
        if (!SizeAcceptable(size.width(), size.height(), maxPixels, what))
            return false;
        AllowAllocation(std::int64_t(size.width()) * size.height());
    }
    // Read into a black picture of the right kind: whatever a reader skips stays black rather
    // than whatever the memory held.
    QImage picture;
    const QImage::Format format = reader.imageFormat();
    if (size.isValid() && format != QImage::Format_Invalid) {
        picture = QImage(size, format);
        if (!picture.isNull())
            picture.fill(0);
    }
    if (!reader.read(&picture)) {
        qCDebug(lcImage) << what << "not read:" << reader.errorString();
        return false;
    }
    return TakePicture(image, std::move(picture), maxPixels, what);
}

std::uint32_t LittleEndian(const QByteArray &bytes, int offset, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | uchar(bytes[offset + i]);
    return value;
}

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

bool HasExtension(const QString &extension, const char *wanted)
{
    return extension.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------

CPpmReader::CPpmReader(QIODevice &device) : m_device(device), m_buffer(ReaderBufferSize) {}

bool CPpmReader::Fill()
{
    const qint64 got = m_device.read(m_buffer.data(), qint64(m_buffer.size()));
    m_pos = 0;
    m_end = got > 0 ? std::size_t(got) : 0;
    return m_end > 0;
}

std::size_t CPpmReader::Read(char *data, std::size_t size)
{
    std::size_t done = 0;
    if (size > 0 && m_pushedBack >= 0) {
        data[done++] = char(m_pushedBack);
        m_pushedBack = -1;
    }
    const std::size_t buffered = std::min(size - done, m_end - m_pos);
    std::memcpy(data + done, m_buffer.data() + m_pos, buffered);
    m_pos += buffered;
    done += buffered;
    // The rest goes straight from the device into the caller's buffer.
    while (done < size) {
        const qint64 chunk = qint64(std::min<std::size_t>(size - done, std::size_t(1) << 30));
        const qint64 got = m_device.read(data + done, chunk);
        if (got <= 0)
            break;
        done += std::size_t(got);
    }
    return done;
}

void SkipPpmSpace(CPpmReader &in)
{
    int c = in.Get();
    for (;;) {
        if (c < 0)
            return;
        if (c == '\t' || c == '\n' || c == '\r' || c == ' ') {
            c = in.Get();
            continue;
        }
        if (c == '#') {
            do
                c = in.Get();
            while (c >= 0 && c != '\n' && c != '\r');
            while (c == '\n' || c == '\r')
                c = in.Get();
            continue;
        }
        in.Unget(c);
        return;
    }
}

bool LoadPpm(CRgbImage &image, QIODevice &device, std::int64_t maxPixels)
{
    CPpmReader in(device);
    int magic = 0, width = 0, height = 0, maxval = 0;
    if (!ReadPpmHeader(in, magic, width, height, maxval))
        return false;
    // Size and buffer are taken over together, so a refused size leaves the image as it was.
    if (!SizeAcceptable(width, height, maxPixels, "PPM"))
        return false;
    if (!image.Reset(width, height, maxPixels)) {
        qCDebug(lcImage) << "PPM refused: not enough memory for" << width << "x" << height;
        return false;
    }
    if (magic != 3 && magic != 6) {
        qCDebug(lcImage) << "PPM: magic number" << magic << "is neither 3 nor 6";
        return false;
    }

    const std::size_t samples = std::size_t(width) * std::size_t(height) * 3;
    std::uint8_t *out = reinterpret_cast<std::uint8_t *>(image.Pixels());
    if (magic == 6) {
        const std::size_t got = in.Read(reinterpret_cast<char *>(out), samples);
        if (got < samples) {
            qCDebug(lcImage) << "PPM: the data ends after" << got << "of" << samples << "bytes";
            return false;
        }
        return true;
    }
    for (std::size_t i = 0; i < samples; ++i) {
        SkipPpmSpace(in);
        bool negative = false;
        std::uint64_t magnitude = 0;
        if (!ScanDecimal(in, negative, magnitude, out[i])) {
            qCDebug(lcImage) << "PPM: sample" << i << "of" << samples << "does not read";
            return false;
        }
    }
    return true;
}

bool LoadPpm(CRgbImage &image, const QString &path, std::int64_t maxPixels)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcImage) << "PPM:" << Shown(path) << "cannot be opened:" << file.errorString();
        return false;
    }
    return LoadPpm(image, file, maxPixels);
}

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
    if (!stream.IsOpen())
        return false;
    const int width = stream.Width();
    const int height = stream.Height();
    if (!image.Reset(width, height, maxPixels)) {
        qCDebug(lcImage) << "JPEG refused: not enough memory for" << width << "x" << height;
        return false;
    }
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
        return true;
    qCDebug(lcImage) << "JPEG: bad picture data:" << stream.Message();
    // Part of the picture may have been written; the result is all black.
    std::fill(image.Pixels(), image.Pixels() + std::size_t(width) * std::size_t(height),
              CRgbTriple());
    return false;
}

bool LoadBmp(CRgbImage &image, const QString &path, std::int64_t maxPixels)
{
    QImageReader reader(path, "bmp");
    // Only the bitmap reader: a file of another kind under a .bmp name is not a bitmap.
    reader.setAutoDetectImageFormat(false);
    if (BitmapCutShort(path))
        return false;
    return ReadWithQt(image, reader, maxPixels, "Bitmap");
}

bool LoadOtherPicture(CRgbImage &image, const QString &path, std::int64_t maxPixels)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format().toLower();
    if (format.isEmpty()) {
        qCDebug(lcImage) << Shown(path) << "is no picture Qt reads:" << reader.errorString();
        return false;
    }
    if (format == "jpeg" || format == "jpg" || format == "bmp" || format == "dib"
        || format == "ppm") {
        qCDebug(lcImage) << Shown(path) << "is a" << format << "file its own loader refused";
        return false;
    }
    return ReadWithQt(image, reader, maxPixels, format.constData());
}

bool LoadFromQImage(CRgbImage &image, const QImage &picture, std::int64_t maxPixels)
{
    return !picture.isNull() && TakePicture(image, picture, maxPixels, "Picture");
}

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
