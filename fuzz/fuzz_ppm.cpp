// Feeds arbitrary bytes to the PPM parser. Success or failure are both fine answers; the image
// must then hold exactly its width x height pixels, all of them readable.

#include "image/Loaders.h"
#include "image/RgbImage.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>

namespace {

// Keeps each run small; the refusal of larger headers is the same code at any limit.
constexpr std::int64_t FuzzMaxPixels = std::int64_t(1) << 22;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quorvel;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                               qsizetype(size));
    QBuffer input(&bytes);
    input.open(QIODevice::ReadOnly);

    CRgbImage image(1, 1);
    const bool loaded = LoadPpm(image, input, FuzzMaxPixels);

    const std::int64_t pixels = std::int64_t(image.Width()) * image.Height();
    if (image.Width() < 1 || image.Height() < 1 || pixels > FuzzMaxPixels)
        std::abort();
    // Every sample of a picture that loads took at least one byte of the data.
    if (loaded && size > 0 && std::uint64_t(pixels) * 3 > size)
        std::abort();
    // Read every pixel, so that the sanitizers see any that lies outside the buffer.
    unsigned sum = 0;
    for (std::int64_t i = 0; i < pixels; ++i)
        sum += image.Pixels()[i].red + image.Pixels()[i].green + image.Pixels()[i].blue;
    [[maybe_unused]] static volatile unsigned sink;
    sink = sum;
    return 0;
}
