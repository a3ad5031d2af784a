// Feeds arbitrary bytes to the JPEG loader and the face cutter as a .jpg file, and to the EXIF
// parser as they stand: the EXIF orientation, Adobe's APP14 marker and the ICC profile
// segments (through Little CMS) of a JPEG are read from whatever the file holds. The picture
// must be the upright one of the header's size, and nothing may read outside a buffer.

#include "FuzzFiles.h"
#include "PictureChecks.h"
#include "image/Exif.h"
#include "image/FaceCutter.h"
#include "image/PaletteImage.h"
#include "image/RgbImage.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    quorvel::fuzz::StartQuietApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quorvel;
    // The parser alone, on a buffer of exactly the input's size.
    const std::vector<std::uint8_t> block(data, data + size);
    if (int(ExifOrientation(block.data(), block.size())) < 1
        || int(ExifOrientation(block.data(), block.size())) > 8)
        std::abort();

    const QString path = fuzz::WriteInputFile(QStringLiteral("photo.jpg"), data, size);
    const CRgbImage image(path, fuzz::kMaxPixels);
    fuzz::CheckPicture(image);
    // The faces cut while decoding: the upright picture's size, whatever the tags said.
    CFaceCutter cutter(path, fuzz::kMaxPixels);
    if (cutter.IsOpen()) {
        if (image.IsLoaded() && (cutter.Width() != image.Width() || cutter.Height() != image.Height()))
            std::abort();
        std::vector<std::unique_ptr<CPaletteImage>> faces;
        cutter.Cut({{0, 0, cutter.Width(), cutter.Height(), 24, 24}, {1, 2, 9, 5, -1, -1}}, faces);
    }
    QFile::remove(path);
    return 0;
}
