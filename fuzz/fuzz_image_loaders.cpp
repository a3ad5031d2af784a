// Feeds arbitrary bytes to the picture file constructor under every kind of file name: the first
// byte picks the extension (and so the loaders tried), the rest is the file. Whatever the loaders
// make of it, the image must hold exactly its width x height pixels.

#include "image/RgbImage.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::int64_t FuzzMaxPixels = std::int64_t(1) << 22;
const char *const Extensions[] = {".jpg", ".jpeg", ".bmp", ".ppm", ".png", ".dat", ".gif", ""};

void Quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

QTemporaryDir *Folder()
{
    static QTemporaryDir folder;
    return &folder;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Qt's image plugins (GIF, ...) are found through the application object.
    static QCoreApplication application(*argc, *argv);
    qInstallMessageHandler(Quiet);
    if (!Folder()->isValid())
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quorvel;
    if (size == 0)
        return 0;
    const QString path = Folder()->filePath(QStringLiteral("picture")
                                            + QLatin1String(Extensions[data[0] % 8]));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
    }

    const CRgbImage image(path, FuzzMaxPixels);
    const std::int64_t pixels = std::int64_t(image.Width()) * image.Height();
    if (image.Width() < 1 || image.Height() < 1 || pixels > FuzzMaxPixels)
        std::abort();
    // Read every pixel, so that the sanitizers see any that lies outside the buffer.
    unsigned sum = 0;
    for (std::int64_t i = 0; i < pixels; ++i)
        sum += image.Pixels()[i].red + image.Pixels()[i].green + image.Pixels()[i].blue;
    [[maybe_unused]] static volatile unsigned sink;
    sink = sum;
    QFile::remove(path);
    return 0;
}
