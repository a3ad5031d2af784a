// Feeds arbitrary bytes to the picture file constructor under every kind of file name: the first
// byte picks the extension (and so the loaders tried), the rest is the file. Whatever the loaders
// make of it, the image must hold exactly its width x height pixels.

#include "FuzzFiles.h"
#include "PictureChecks.h"
#include "image/Loaders.h"
#include "image/RgbImage.h"

#include <QByteArray>
#include <QFile>

#include <cstdint>
#include <cstdlib>

namespace {

const char *const Extensions[] = {".jpg", ".jpeg", ".bmp", ".ppm", ".png", ".dat", ".gif", ""};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    quorvel::fuzz::StartQuietApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quorvel;
    if (size == 0)
        return 0;
    const QString path = fuzz::WriteInputFile(
        QStringLiteral("picture") + QLatin1String(Extensions[data[0] % 8]), data + 1, size - 1);

    fuzz::CheckPicture(CRgbImage(path, fuzz::kMaxPixels));
    PictureFormatOfFile(path); // what a failed load's message would say the file holds
    QFile::remove(path);
    return 0;
}
