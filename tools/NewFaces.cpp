#include "tools/NewFaces.h"
#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"
#include "tools/ToolImages.h"

#include "company/CompanyRecord.h"
#include "image/FaceCutter.h"
#include "image/FaceFinder.h"
#include "image/PaletteImage.h"
#include "image/RgbImage.h"

#include <QFileInfo>

#include <future>
#include <system_error>

namespace quorvel::tool {
namespace {

// Turns the requests for the finder's faces into rectangles on the picture, which goes to
// *whole when the search loaded it whole. False, with *error, when it cannot be read or has
// fewer faces than asked for.
bool PlaceOnFaces(const QString &path, const std::vector<CFaceRequest *> &requests,
                  std::unique_ptr<CRgbImage> *whole, QString *error)
{
    std::vector<CFaceProposal> found;
    int width = 0, height = 0;
    if (!FaceProposalsInFile(path, found, width, height, error, whole))
        return false;
    for (CFaceRequest *request : requests) {
        if (request->face == 0)
            continue;
        if (std::size_t(request->face) <= found.size()) {
            const CPixelRect &square = found[std::size_t(request->face - 1)].square;
            request->left = square.x;
            request->top = square.y;
            request->right = square.x + square.width;
            request->bottom = square.y + square.height;
        } else if (found.empty() && request->wholeIfNoFace) {
            request->whole = true;
            request->right = width;
            request->bottom = height;
        } else {
            *error = FileMessage(path, found.empty() ? Tr("no face found.")
                                       : found.size() == 1 ? Tr("only 1 face found.")
                                                           : Tr("only %1 faces found.").arg(found.size()));
            return false;
        }
    }
    return true;
}

// The usage error for the first rectangle given that does not lie on a width x height
// picture; -1 when all do. Faces the finder places are not looked at.
int CheckRectangles(const std::vector<CFaceRequest *> &group, int width, int height)
{
    for (const CFaceRequest *request : group) {
        if (request->whole || request->face > 0)
            continue;
        if (request->left < 0 || request->top < 0 || request->right > width || request->bottom > height) {
            return UsageError("new", Tr("the rectangle %1,%2,%3,%4 does not lie on %5, which is %6x%7 pixels.")
                                         .arg(request->left).arg(request->top)
                                         .arg(request->right).arg(request->bottom)
                                         .arg(DisplayPath(request->picture))
                                         .arg(width).arg(height));
        }
    }
    return -1;
}

// Each request's large and small face, in that order, on a width x height picture.
std::vector<CFaceCut> CutsFor(const std::vector<CFaceRequest *> &group, int width, int height)
{
    std::vector<CFaceCut> cuts;
    for (CFaceRequest *request : group) {
        if (request->whole) {
            request->right = width;
            request->bottom = height;
        }
        cuts.push_back({request->left, request->top, request->right, request->bottom, kLargeFaceSide, kLargeFaceSide});
        cuts.push_back({request->left, request->top, request->right, request->bottom, kSmallFaceSide, kSmallFaceSide});
    }
    return cuts;
}

// Cuts the faces of one picture's requests into cut, two a request. -1 when they are cut,
// else the exit code, the reason printed.
int CutPicture(const QString &path, const std::vector<CFaceRequest *> &group, bool findFaces,
               std::vector<std::unique_ptr<CPaletteImage>> &cut)
{
    QString error;
    std::unique_ptr<CRgbImage> whole;
    std::unique_ptr<CFaceCutter> cutter;
    const auto failed = [](const QString &message) {
        PrintErr(message + QLatin1Char('\n'));
        return int(kExitFailed);
    };
    bool overlapped = false;
    if (findFaces && FacesSearchedSmall(path)) {
        // The search decodes the file small on another thread while this one decodes it whole
        // for the cut, which holds the rows until the search has placed the faces.
        if (!(cutter = OpenFaceCutter(path, &error)))
            return failed(error);
        const int width = cutter->Width(), height = cutter->Height();
        if (const int bad = CheckRectangles(group, width, height); bad >= 0)
            return bad;
        CFaceCutter::CPlacedCuts placed;
        try {
            placed = std::async(std::launch::async, [&]() -> std::optional<std::vector<CFaceCut>> {
                if (!PlaceOnFaces(path, group, &whole, &error) || whole)
                    return std::nullopt;
                return CutsFor(group, width, height);
            });
        } catch (const std::system_error &) {
            // No thread to be had: the search first, then the cut.
        }
        if (placed.valid()) {
            overlapped = true;
            if (cutter->CutAsPlaced(std::move(placed), cut))
                return -1;
            if (!error.isEmpty())
                return failed(error);
            if (!whole)
                return failed(PictureUnreadable(path, cutter->Report()));
        }
    }
    if (!overlapped && ((findFaces && !PlaceOnFaces(path, group, &whole, &error))
                        || (!whole && !cutter && !(cutter = OpenFaceCutter(path, &error))))) {
        return failed(error);
    }
    const int width = whole ? whole->Width() : cutter->Width();
    const int height = whole ? whole->Height() : cutter->Height();
    if (const int bad = CheckRectangles(group, width, height); bad >= 0)
        return bad;
    const std::vector<CFaceCut> cuts = CutsFor(group, width, height);
    cut.clear();
    if (whole) {
        for (const CFaceCut &c : cuts)
            cut.push_back(whole->CropToPaletteImage(c.x1, c.y1, c.x2, c.y2, c.tw, c.th));
    } else if (!cutter->Cut(cuts, cut)) {
        return failed(PictureUnreadable(path, cutter->Report()));
    }
    return -1;
}

} // namespace

int CutFaces(std::vector<CFaceRequest> &faces, CCompanyRecord &record)
{
    // Each picture is read once, however many expressions are cut from it, and let go of
    // before the next is read; JPEG pictures are cut while they are decoded, never held whole
    // unless a face search is still running. The finder sees a large JPEG decoded small; a
    // picture it had to load whole is cut from that, not decoded again.
    std::vector<bool> done(faces.size(), false);
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (done[i])
            continue;
        const QString key = QFileInfo(faces[i].picture).absoluteFilePath();
        std::vector<CFaceRequest *> group;
        bool findFaces = false;
        for (std::size_t j = i; j < faces.size(); ++j) {
            if (!done[j] && QFileInfo(faces[j].picture).absoluteFilePath() == key) {
                done[j] = true;
                group.push_back(&faces[j]);
                findFaces = findFaces || faces[j].face > 0;
            }
        }
        std::vector<std::unique_ptr<CPaletteImage>> cut;
        if (const int failed = CutPicture(faces[i].picture, group, findFaces, cut); failed >= 0)
            return failed;
        for (std::size_t r = 0; r < group.size(); ++r) {
            const std::unique_ptr<CPaletteImage> &large = cut[2 * r];
            const std::unique_ptr<CPaletteImage> &small = cut[2 * r + 1];
            if (!large || !small) {
                PrintErr(FileMessage(group[r]->picture, Tr("not enough memory to cut the faces."))
                         + QLatin1Char('\n'));
                return kExitFailed;
            }
            record.SetFaces(1u << group[r]->expression, small->Indices(), large->Indices());
        }
    }
    return -1;
}

} // namespace quorvel::tool
