// reduce PICTURE OUT.png: a whole picture, unscaled, reduced to the game palette.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"
#include "tools/ToolImages.h"

#include "image/HilbertDither.h"
#include "image/RgbImage.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace quorvel::tool {
namespace {

int RunReduce(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(
        "Loads a picture (%1) as the editor does and reduces all of it, "
        "unscaled, to the game palette by the editor's error diffusion. Writes an 8-bit PNG "
        "whose colour table is the game palette, and prints its path; OUT.png must be "
        "another file than PICTURE.").arg(HelpFormatList(args)));
    parser.addPositionalArgument(QStringLiteral("PICTURE"), Tr("The picture to reduce."));
    parser.addPositionalArgument(QStringLiteral("OUT.png"), Tr("The PNG file to write."));
    const int parsed = ParseArguments(parser, "reduce", QStringLiteral("PICTURE OUT.png"), args);
    if (parsed >= 0)
        return parsed;
    const std::optional<QStringList> given = PositionalArguments(
        parser, "reduce", {2, 2, Tr("a picture and an output file are needed."), Tr("too many arguments.")});
    if (!given)
        return kExitUsage;
    const QStringList &files = *given;

    // A PNG under another picture format's name would fool the next program to open it.
    const EPictureFormat named = PictureFormatOfName(files[1]);
    if (named != EPictureFormat::Unknown && named != EPictureFormat::Png) {
        PrintErr(FileMessage(files[1], Tr("reduce writes a PNG picture, not a %1 one; name the "
                                          "output .png.").arg(PictureFormatName(named)))
                 + QLatin1Char('\n'));
        return kExitUsage;
    }
    const int refused = RefuseOutputOverInput(files[1], {files[0]});
    if (refused >= 0)
        return refused;
    QString error;
    std::unique_ptr<CRgbImage> picture = LoadPictureFile(files[0], &error);
    if (!picture) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    std::vector<std::uint8_t> indices;
    try {
        indices = ReduceToPalette(picture->Pixels(), picture->Width(), picture->Height());
    } catch (const std::bad_alloc &) {
        PrintErr(FileMessage(files[0], Tr("not enough memory to reduce the picture.")) + QLatin1Char('\n'));
        return kExitFailed;
    }
    const int width = picture->Width();
    const int height = picture->Height();
    picture.reset();
    if (!WriteIndexedPng(files[1], indices.data(), width, height, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    PrintOut(ShownPath(files[1]) + QLatin1Char('\n'));
    return kExitOk;
}

} // namespace

QUORVEL_TOOL_COMMAND("reduce", "reduce a whole picture to the game palette, as a PNG", RunReduce);

} // namespace quorvel::tool
