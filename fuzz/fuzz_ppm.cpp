// Feeds arbitrary bytes to the PPM parser. Success or failure are both fine answers; the image
// must then hold exactly its width x height pixels, all of them readable.

#include "PictureChecks.h"
#include "image/Loaders.h"
#include "image/RgbImage.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quorvel;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                               qsizetype(size));
    QBuffer input(&bytes);
    input.open(QIODevice::ReadOnly);

    CRgbImage image(1, 1);
    const bool loaded = LoadPpm(image, input, fuzz::kMaxPixels);

    const std::int64_t pixels = fuzz::CheckPicture(image);
    // Every sample of a picture that loads took at least one byte of the data.
    if (loaded && size > 0 && std::uint64_t(pixels) * 3 > size)
        std::abort();
    return 0;
}
