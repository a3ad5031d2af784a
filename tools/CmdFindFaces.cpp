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

bool FaceProposalsInFile(const QString &path, std::vector<CFaceProposal> &proposals, int &width,
                         int &height, QString *error, std::unique_ptr<CRgbImage> *whole)
{
    proposals.clear();
    if (!CheckPictureFile(path, error))
        return false;
    CFacesInFile found;
    try {
        if (!FindFacesInFile(path, found)) {
            *error = PictureUnreadable(path, found.report);
            return false;
        }
    } catch (const std::bad_alloc &) {
        *error = FileMessage(path, Tr("not enough memory for the picture."));
        return false;
    }
    width = found.width;
    height = found.height;
    if (whole)
        *whole = std::move(found.picture);
    for (const CFoundFace &face : found.faces) {
        if (const std::optional<CPixelRect> square = FaceSquare(face.detection, width, height))
            proposals.push_back({face, *square});
    }
    return true;
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
        "a picture's longer side are not found, and those under a third the size of its "
        "largest face may be left out.").arg(HelpFormatList(args)));
    const QCommandLineOption json(QStringLiteral("json"),
                                  Tr("Print one JSON array, an object per face found, with the keys "
                                     "file, square, detection (each [X1, Y1, X2, Y2]) and score."));
    parser.addOption(json);
    parser.addPositionalArgument(QStringLiteral("PICTURE"), Tr("Pictures to search."),
                                 QStringLiteral("PICTURE..."));
    const int parsed = ParseArguments(parser, "find-faces", QStringLiteral("[--json] PICTURE..."), args);
    if (parsed >= 0)
        return parsed;
    const std::optional<QStringList> given =
        PositionalArguments(parser, "find-faces", {1, -1, Tr("no picture given."), {}});
    if (!given)
        return kExitUsage;
    const QStringList &files = *given;

    int status = kExitOk;
    QJsonArray rows;
    QString text;
    for (const QString &path : files) {
        QString error;
        std::vector<CFaceProposal> faces;
        int width = 0, height = 0;
        if (!FaceProposalsInFile(path, faces, width, height, &error)) {
            PrintErr(error + QLatin1Char('\n'));
            status = kExitFailed;
            continue;
        }
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
