// faces FILE -o DIR: each present expression's two faces as palette PNGs.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"
#include "tools/ToolImages.h"

#include "company/CompanyFile.h"
#include "company/CompanyRecord.h"
#include "image/PalettePng.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

namespace quorvel::tool {
namespace {

int RunFaces(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(
        "Writes the faces of every expression the company has as EXPR-64.png and EXPR-24.png "
        "in DIR (made when missing): 8-bit PNGs whose colour table is the game palette. "
        "Writes all of them or, when one fails, none. Prints each path written."));
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    Tr("The folder to write to."), QStringLiteral("DIR"));
    parser.addOption(output);
    parser.addPositionalArgument(QStringLiteral("FILE"), Tr("The company file."));
    const int parsed = ParseArguments(parser, "faces", QStringLiteral("FILE -o DIR"), args);
    if (parsed >= 0)
        return parsed;
    const std::optional<QStringList> given = PositionalArguments(
        parser, "faces", {1, 1, Tr("no file given."), Tr("only one company at a time.")});
    if (!given)
        return kExitUsage;
    const QStringList &files = *given;
    if (!parser.isSet(output) || parser.value(output).isEmpty())
        return UsageError("faces", Tr("no output folder given (-o DIR)."));

    CCompanyRecord record;
    QString error;
    if (!ReadCompanyFile(files.first(), record, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    const QDir dir(parser.value(output));
    std::vector<CFileToWrite> pictures;
    for (int index : PresentExpressions(record.GetExpressionMask())) {
        const QString name = QLatin1String(ExpressionName(index));
        const std::uint8_t *large = record.LargeFace(index).data();
        const std::uint8_t *small = record.SmallFace(index).data();
        for (const auto &face :
             {std::pair{large, kLargeFaceSide}, std::pair{small, kSmallFaceSide}}) {
            const std::uint8_t *indices = face.first;
            const int side = face.second;
            pictures.push_back({dir.filePath(QStringLiteral("%1-%2.png").arg(name).arg(side)),
                                [indices, side](QIODevice &device) {
                                    return WritePalettePng(device, indices, side, side);
                                }});
        }
    }
    for (const CFileToWrite &picture : pictures) {
        const int refused = RefuseOutputOverInput(picture.path, files);
        if (refused >= 0)
            return refused;
    }
    // All the faces or none, in a folder that is there only when they are.
    QStringList made;
    if (!MakeFolder(dir.path(), &made, &error) || !WriteFilesWhole(pictures, &error)) {
        RemoveMadeFolders(made);
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    for (const CFileToWrite &picture : pictures)
        PrintOut(ShownPath(picture.path) + QLatin1Char('\n'));
    return kExitOk;
}

} // namespace

QUORVEL_TOOL_COMMAND("faces", "write a company's faces as palette PNGs", RunFaces);

} // namespace quorvel::tool
