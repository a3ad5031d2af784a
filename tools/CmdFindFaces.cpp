// find-faces [--json] PICTURE...: the faces the editor's finder sees in pictures, each with the
// square that `new --face EXPR=PICTURE@X1,Y1,X2,Y2` would cut.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"
#include "tools/ToolImages.h"

#include "image/FaceFinder.h"
#include "image/RgbImage.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quorvel::tool {

std::vector<CFaceProposal> FaceProposals(const CRgbImage &picture)
{
    std::vector<CFaceProposal> proposals;
    for (const CFoundFace &face : FindFaces(picture)) {
        if (const std::optional<CPixelRect> square =
                FaceSquare(face.detection, picture.Width(), picture.Height()))
            proposals.push_back({face, *square});
    }
    return proposals;
}

QString CornersText(const CPixelRect &r)
{
    return QStringLiteral("%1,%2,%3,%4").arg(r.x).arg(r.y).arg(r.x + r.width).arg(r.y + r.height);
}

namespace {

QJsonArray Corners(const CPixelRect &r)
{
    return QJsonArray{r.x, r.y, r.x + r.width, r.y + r.height};
}

int RunFindFaces(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(
        "Finds the frontal faces in pictures (%1) as the editor's grab dialog does, largest "
        "first. Prints a line for each face: the picture, the square proposed for it as "
        "X1,Y1,X2,Y2 (right and bottom edges excluded, ready for new --face "
        "EXPR=PICTURE@X1,Y1,X2,Y2), the detector's own rectangle and its score; and "
        "\"no face found\" for a picture without one. Faces smaller than about a twentieth of "
        "a picture's longer side are not found, nor, when its largest face is over a fifth of "
        "that side, those under about a fifteenth.").arg(ReadablePictureFormatList()));
    const QCommandLineOption json(QStringLiteral("json"),
                                  Tr("Print one JSON array, an object per face found, with the keys "
                                     "file, square, detection (each [X1, Y1, X2, Y2]) and score."));
    parser.addOption(json);
    parser.addPositionalArgument(QStringLiteral("PICTURE"), Tr("Pictures to search."),
                                 QStringLiteral("PICTURE..."));
    const int parsed = ParseArguments(parser, "find-faces", QStringLiteral("[--json] PICTURE..."), args);
    if (parsed >= 0)
        return parsed;
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return UsageError("find-faces", Tr("no picture given."));

    int status = kExitOk;
    QJsonArray rows;
    QString text;
    for (const QString &path : files) {
        QString error;
        const std::unique_ptr<CRgbImage> picture = LoadPictureFile(path, &error);
        if (!picture) {
            PrintErr(error + QLatin1Char('\n'));
            status = kExitFailed;
            continue;
        }
        const std::vector<CFaceProposal> faces = FaceProposals(*picture);
        if (faces.empty() && !parser.isSet(json))
            text += Tr("%1\tno face found\n").arg(DisplayPath(path));
        for (const CFaceProposal &face : faces) {
            if (parser.isSet(json)) {
                rows.append(QJsonObject{{QStringLiteral("file"), path},
                                        {QStringLiteral("square"), Corners(face.square)},
                                        {QStringLiteral("detection"), Corners(face.found.detection)},
                                        {QStringLiteral("score"), face.found.score}});
            } else {
                text += QStringLiteral("%1\t%2\t%3\t%4\n")
                            .arg(DisplayPath(path), CornersText(face.square),
                                 CornersText(face.found.detection),
                                 QString::number(face.found.score, 'f', 2));
            }
        }
    }
    if (parser.isSet(json))
        PrintOut(QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Indented)));
    else
        PrintOut(text);
    return status;
}

// Without the finder the command is not there at all.
[[maybe_unused]] const bool s_findFacesRegistered = [] {
    if (FaceFinderBuiltIn())
        CCommandRegistrar("find-faces", "find the faces in pictures, with the squares to cut",
                          RunFindFaces);
    return true;
}();

} // namespace

} // namespace quorvel::tool
