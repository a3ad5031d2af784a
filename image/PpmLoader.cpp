#include "image/Loaders.h"
#include "image/LoaderSupport.h"
#include "image/PpmReader.h"

#include "platform/Logging.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <limits>

namespace quorvel {

using loaders::CheckSize;
using loaders::Refuse;
using loaders::ResetPicture;
using loaders::Shown;
using loaders::SizeAcceptable;
using loaders::Succeed;

namespace {

constexpr std::size_t ReaderBufferSize = 64 * 1024;

// The header is four items: "P" and the magic number (3 plain, 6 raw), width, height and the
// largest sample value, each item preceded by blanks and "#" comments and read as a decimal
// integer (leading white space, an optional sign, digits). Exactly one character follows the
// header. Then width x height pixels of three samples, red, green, blue: decimal numbers
// separated like header items (P3), or one byte each (P6).

bool IsFormattedSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// No sample or header item needs more digits than this; a longer number is a malformed file,
// not a value.
constexpr int MaxDigits = 100;

// Skips white space and an optional sign, then reads the digits of a decimal integer into
// `magnitude` (saturating). False when no digit follows, or more than MaxDigits do. The first
// non-digit is put back.
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
    int digits = 0;
    do {
        if (++digits > MaxDigits)
            return false;
        magnitude = std::min(magnitude * 10 + unsigned(c - '0'), Ceiling);
        low = (low * 10 + unsigned(c - '0')) & 0xFFu;
        c = in.Get();
    } while (c >= '0' && c <= '9');
    in.Unget(c);
    lowByte = std::uint8_t(negative ? (0u - low) & 0xFFu : low);
    return true;
}

bool FitsInt(bool negative, std::uint64_t magnitude)
{
    const std::uint64_t limit = negative ? std::uint64_t(std::numeric_limits<int>::max()) + 1
                                         : std::uint64_t(std::numeric_limits<int>::max());
    return magnitude <= limit;
}

// A header item: false when nothing reads or the value does not fit an int.
bool ScanInt(CPpmReader &in, int &value)
{
    bool negative = false;
    std::uint64_t magnitude = 0;
    std::uint8_t lowByte = 0;
    if (!ScanDecimal(in, negative, magnitude, lowByte) || !FitsInt(negative, magnitude))
        return false;
    value = negative ? int(-std::int64_t(magnitude)) : int(magnitude);
    return true;
}

// Reads the header; false when it does not read. A file that names itself a PPM (P3 or P6)
// and then fails is recorded as damaged, or as unsupported for samples of more than 8 bits;
// any other is left for other loaders to recognise.
bool ReadPpmHeader(CPpmReader &in, CRgbImage &image, int &magic, int &width, int &height,
                   int &maxval)
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
    const bool named = magic == 3 || magic == 6;
    const auto fail = [&](const char *why) {
        qCDebug(lcImage) << "PPM:" << why;
        if (named)
            Refuse(image, EPictureFormat::Ppm, ELoadProblem::Damaged);
        return false;
    };
    SkipPpmSpace(in);
    if (!ScanInt(in, width))
        return fail("no width");
    SkipPpmSpace(in);
    if (!ScanInt(in, height))
        return fail("no height");
    SkipPpmSpace(in);
    if (!ScanInt(in, maxval))
        return fail("no largest sample value");
    if (maxval > 255) {
        qCDebug(lcImage) << "PPM: samples of more than eight bits (maxval" << maxval << ")";
        if (named)
            Refuse(image, EPictureFormat::Ppm, ELoadProblem::Unsupported,
                   QCoreApplication::translate("CPictureLoaders",
                                               "its samples have more than 8 bits (maxval %1)")
                       .arg(maxval));
        return false;
    }
    // Every sample of a largest value below 1 would be 0: a broken header, not a picture.
    if (maxval < 1)
        return fail("largest sample value below 1");
    in.Get(); // the one character that ends the header
    return true;
}

} // namespace

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
    if (!ReadPpmHeader(in, image, magic, width, height, maxval))
        return false;
    const bool named = magic == 3 || magic == 6;
    // Size and buffer are taken over together, so a refused size leaves the image as it was.
    if (named ? !CheckSize(image, EPictureFormat::Ppm, width, height, maxPixels)
              : !SizeAcceptable(width, height, maxPixels, "PPM"))
        return false;
    if (!(named ? ResetPicture(image, EPictureFormat::Ppm, width, height, maxPixels)
                : image.Reset(width, height, maxPixels)))
        return false;
    if (!named) {
        qCDebug(lcImage) << "PPM: magic number" << magic << "is neither 3 nor 6";
        return false;
    }

    const std::size_t samples = std::size_t(width) * std::size_t(height) * 3;
    std::uint8_t *out = reinterpret_cast<std::uint8_t *>(image.Pixels());
    if (magic == 6) {
        const std::size_t got = in.Read(reinterpret_cast<char *>(out), samples);
        if (got < samples) {
            qCDebug(lcImage) << "PPM: the data ends after" << got << "of" << samples << "bytes";
            return Refuse(image, EPictureFormat::Ppm, ELoadProblem::Damaged);
        }
        return Succeed(image, EPictureFormat::Ppm);
    }
    for (std::size_t i = 0; i < samples; ++i) {
        SkipPpmSpace(in);
        bool negative = false;
        std::uint64_t magnitude = 0;
        if (!ScanDecimal(in, negative, magnitude, out[i]) || !FitsInt(negative, magnitude)) {
            qCDebug(lcImage) << "PPM: sample" << i << "of" << samples << "does not read";
            return Refuse(image, EPictureFormat::Ppm, ELoadProblem::Damaged);
        }
    }
    return Succeed(image, EPictureFormat::Ppm);
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

} // namespace quorvel
