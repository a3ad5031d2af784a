// Feeds arbitrary bytes to the HEIF loader as a .heic file (HEIF and AVIF alike, by their
// brands): libheif's reading, the size check before decoding, the colour profile and the rows
// handed out. The picture must hold exactly its width x height pixels.

#include "FuzzFiles.h"
#include "PictureChecks.h"
#include "image/RgbImage.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>

// libdav1d, the AV1 decoder under libheif, loses a small block on some broken streams: a
// fault of Debian's library, not of the loader, so the leak check leaves it out.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libdav1d.so\n";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    quorvel::fuzz::StartQuietApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quorvel;
    const QString path = fuzz::WriteInputFile(QStringLiteral("photo.heic"), data, size);
    fuzz::CheckPicture(CRgbImage(path, fuzz::kMaxPixels));
    QFile::remove(path);
    return 0;
}
