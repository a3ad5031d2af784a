// reduce PICTURE OUT.png: a whole picture, unscaled, reduced to the game palette.

#include "tools/ToolCommand.h"
#include "tools/ToolImages.h"

#include "image/HilbertDither.h"
#include "image/RgbImage.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace quorvel::tool {
namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("quorvel-tool", text);
}

int RunReduce(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(
        "Loads a picture (BMP, PPM, JPEG or PNG) as the editor does and reduces all of it, "
        "unscaled, to the game palette by the editor's error diffusion. Writes an 8-bit PNG "
        "whose colour table is the game palette."));
    parser.addPositionalArgument(QStringLiteral("PICTURE"), Tr("The picture to reduce."));
    parser.addPositionalArgument(QStringLiteral("OUT.png"), Tr("The PNG file to write."));
    const int parsed = ParseArguments(parser, "reduce", QStringLiteral("PICTURE OUT.png"), args);
    if (parsed >= 0)
        return parsed;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2)
        return UsageError("reduce", files.size() < 2 ? Tr("a picture and an output file are needed.")
                                                     : Tr("too many arguments."));

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
        PrintErr(Tr("%1: not enough memory to reduce the picture.\n").arg(DisplayPath(files[0])));
        return kExitFailed;
    }
    const int width = picture->Width();
    const int height = picture->Height();
    picture.reset();
    if (!WriteIndexedPng(files[1], indices.data(), width, height, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace

QUORVEL_TOOL_COMMAND("reduce", "reduce a whole picture to the game palette, as a PNG", RunReduce);

} // namespace quorvel::tool
