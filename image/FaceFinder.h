#pragma once
// Finds the frontal faces in a photo, so that the grab dialog can put its box around a head
// and quorvel-tool can cut faces without rectangles. The search runs on an area-averaged copy
// of about kFaceSearchSide pixels on the long side and maps what it finds back to the picture.
// Any thread may search; the detector is set up once, on the first search or by
// PrepareFaceFinder, and kept.

#include "image/Orientation.h"
#include "image/RgbImage.h"

#include <QImage>

#include <memory>
#include <optional>
#include <vector>

namespace quorvel {

class CPicturePyramid;

// False when the programs were built without the face finder (QUORVEL_FACES off): then
// FindFaces finds nothing and the features built on it are left out.
bool FaceFinderBuiltIn();

// Sets the detector up on the calling thread, as the first search would, so that the first
// photo is not kept waiting for it. Any thread may call it, any number of times; calls made
// while another thread sets up wait for it. Nothing happens without the finder built in.
void PrepareFaceFinder();

struct CFoundFace
{
    CPixelRect detection; // the detector's rectangle in picture pixels, cut to the picture
    double score = 0;     // the detector's confidence, above kFaceScoreThreshold
};

// The long side of the copy searched. Faces are found from about a twentieth of it up; those
// under a third the size of the largest face may be left out.
inline constexpr int kFaceSearchSide = 1024;
// Pictures narrower or shorter than this are not searched: a face in them would be smaller
// than the game's 64x64 one.
inline constexpr int kSmallestFaceSearchSide = 48;
// Detections scoring lower are dropped: below it the detector's hits on textures and drawings
// outnumber its faces.
inline constexpr double kFaceScoreThreshold = 0.25;

// The faces in the picture, largest first (equal ones by score). Empty when there is none, when
// the picture is too small to search or the finder was not built in. A pyramid of the same
// picture, when given, spares reading the whole photo for the search copy.
std::vector<CFoundFace> FindFaces(const CRgbImage &picture,
                                  const CPicturePyramid *pyramid = nullptr);

// The faces in a picture file, for a caller that has not loaded the picture: a JPEG is
// decoded at the smallest DCT scale (1/2, 1/4 or 1/8) that leaves at least kFaceSearchSide
// pixels on its long side, several times faster than the whole picture, and its large faces
// are looked for first, on that decode's blocks averaged, so that a portrait's search makes
// no search copy; any other picture is loaded whole. The faces are in the upright picture's
// pixels, width and height its size.
// False when the picture cannot be read (report says why, as loading it would).
struct CFacesInFile
{
    std::vector<CFoundFace> faces;
    int width = 0;
    int height = 0;
    CLoadReport report;
    // The whole picture, when the search had to load it whole: a caller that cuts faces
    // cuts them from it rather than decoding the file again.
    std::unique_ptr<CRgbImage> picture;
};
bool FindFacesInFile(const QString &path, CFacesInFile &found,
                     std::int64_t maxPixels = kMaxPicturePixels);
// Whether FindFacesInFile would search the file without loading it whole (a large JPEG,
// decoded small), so that a caller cutting faces from it may decode it in the meantime.
bool FacesSearchedSmall(const QString &path, std::int64_t maxPixels = kMaxPicturePixels);

// The search copy itself, in grey (Format_Grayscale8): the picture area-averaged to at most
// kFaceSearchSide on the long side (the picture's pixels when it is no larger), made from the
// coarsest pyramid level that is still at least that large. scale is the copy's size over the
// picture's.
QImage FaceSearchCopy(const CRgbImage &picture, const CPicturePyramid *pyramid, double &scale);

// The square that holds the whole head of a detected face, for a head-and-shoulders face:
// kFaceSquareSide times the detection's longer side, its centre kFaceSquareRaise of that side
// above the detection's centre, so the hair fits and the chin is not cut. It is moved, not
// shrunk, to stay on the picture, and shrunk only where the picture is smaller than it. The
// square keeps its right and bottom below the picture's width and height, as the grab
// dialog's boxes do, so the dialog and `new` cut the same. None on a picture narrower or
// shorter than 2 pixels or for a detection with no area.
inline constexpr double kFaceSquareSide = 1.8;
inline constexpr double kFaceSquareRaise = 0.2;
std::optional<CPixelRect> FaceSquare(const CPixelRect &detection, int pictureWidth,
                                     int pictureHeight);

// Detections of the same face at two neighbouring scales kept once, the higher-scoring one;
// then sorted largest first. Two detections are the same face when they overlap by more than
// 40% of their union, or when the smaller lies four fifths inside the larger.
std::vector<CFoundFace> MergeFaces(std::vector<CFoundFace> faces);

} // namespace quorvel
