// thumbnail FILE OUT.png [--size N]: the company's default face as a PNG, for file managers.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"

#include "company/CompanyRecord.h"
#include "image/PaletteImage.h"
#include "image/RgbImage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QImageWriter>

#include <cstring>

namespace quorvel::tool {
namespace {

constexpr int kDefaultSize = 128;
// Eight steps of the large face; file managers asking more are given this.
constexpr int kLargestSize = 512;

// The default face of the size that suits the thumbnail (the large one from 64 pixels up),
// in the palette; the editor's crossed-out box, in true colour, when the company has none.
// Both images' views of their pixels are copied, as the images go.
QImage DefaultFace(const CCompanyRecord &record, int side)
{
    if (!(record.GetExpressionMask() & kDefaultExpressionBit))
        return CRgbImage(side, side).AsQImage().copy();
    const std::uint8_t *face = side == kLargeFaceSide ? record.LargeFace(0).data()
                                                      : record.SmallFace(0).data();
    return CPaletteImage(face, side, side).AsQImage().copy();
}

// Up: each pixel repeated grow times. Down: every step-th pixel. Either way the face fits in
// size x size without smoothing.
QImage ScaledByWholeSteps(const QImage &face, int size)
{
    const int side = face.width();
    const int grow = size >= side ? std::min(size, kLargestSize) / side : 1;
    const int step = size >= side ? 1 : (side + size - 1) / size;
    const int out = (side * grow + step - 1) / step;
    QImage thumbnail(out, out, face.format());
    thumbnail.setColorTable(face.colorTable());
    const std::size_t bytes = std::size_t(face.depth() / 8);
    for (int y = 0; y < out; ++y) {
        const uchar *from = face.constScanLine(y * step / grow);
        uchar *to = thumbnail.scanLine(y);
        for (int x = 0; x < out; ++x)
            std::memcpy(to + std::size_t(x) * bytes, from + std::size_t(x * step / grow) * bytes, bytes);
    }
    return thumbnail;
}

int RunThumbnail(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(
        "Draws the company's default face as a PNG that fits in N x N pixels, scaled by whole "
        "steps without smoothing, as file managers show company files: the 64x64 face from 64 "
        "pixels up, the 24x24 one below. A company without a default face gets the editor's "
        "crossed-out box. Sizes above 512 give 512. Prints the path written."));
    const QCommandLineOption size(QStringLiteral("size"),
                                  Tr("The largest width and height, in pixels (default 128)."),
                                  QStringLiteral("N"), QString::number(kDefaultSize));
    parser.addOption(size);
    parser.addPositionalArgument(QStringLiteral("FILE"), Tr("The company file."));
    parser.addPositionalArgument(QStringLiteral("OUT.png"), Tr("The PNG file to write."));
    const int parsed = ParseArguments(parser, "thumbnail",
                                      QStringLiteral("FILE OUT.png [--size N]"), args);
    if (parsed >= 0)
        return parsed;
    const std::optional<QStringList> given = PositionalArguments(
        parser, "thumbnail",
        {2, 2, Tr("a company file and an output file are needed."), Tr("too many arguments.")});
    if (!given)
        return kExitUsage;
    const QStringList &files = *given;
    bool ok = false;
    const int pixels = parser.value(size).toInt(&ok);
    if (!ok || pixels < 1)
        return UsageError("thumbnail", Tr("--size takes a whole number of pixels, 1 or more."));
    const int refused = RefuseOutputOverInput(files[1], {files[0]});
    if (refused >= 0)
        return refused;

    CCompanyRecord record;
    QString error;
    if (!ReadCompanyFile(files[0], record, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    const int side = pixels >= kLargeFaceSide ? kLargeFaceSide : kSmallFaceSide;
    const QImage thumbnail = ScaledByWholeSteps(DefaultFace(record, side), pixels);
    const auto write = [&thumbnail](QIODevice &device, QString *why) {
        QImageWriter writer(&device, "png");
        if (writer.write(thumbnail))
            return true;
        *why = Tr("Failed to save the picture (%1).").arg(writer.errorString());
        return false;
    };
    if (!WriteFileWhole(files[1], write, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    PrintOut(ShownPath(files[1]) + QLatin1Char('\n'));
    return kExitOk;
}

} // namespace

QUORVEL_TOOL_COMMAND("thumbnail", "draw a company's default face as a PNG thumbnail", RunThumbnail);

} // namespace quorvel::tool
