#pragma once
// The face detector behind FindFaces: the HOG frontal-face detector of dlib, which needs no data
// files. Only FaceDetector.cpp sees dlib, so the rest of the image layer builds without it.

#include "image/FaceFinder.h"

#include <QSize>

#include <cstdint>
#include <vector>

namespace quorvel {

// How much the grey search copy is enlarged before the detector sees it: the detector finds
// faces from 80 pixels up, so this finds them from 80 / kFaceUpsample pixels of the copy.
inline constexpr double kFaceUpsample = 2.0;

// The faces the detector finds on a grey picture (Format_Grayscale8, freed once copied), in that
// picture's pixels, unmerged and unsorted; scores of at least kFaceScoreThreshold. The first
// call sets the detector up. Faces under a third the size of one found at coarser scales are
// not looked for, which makes a portrait's search several times faster; largest is the side
// of one found already, and finerOnly leaves out what DetectLargeFaces scans. Empty when the
// picture cannot be searched or memory runs out.
std::vector<CFoundFace> DetectFaces(QImage grey, int largest = 0, bool finerOnly = false);

// The search's first, coarse stage alone, the large faces: those DetectFaces would find there
// on a copy of copyWidth x copyHeight, found on grey, a picture of that copy at least
// CoarseFaceSearchSize large and in its copy's pixels. A large face then needs neither the
// copy nor the finer levels. False, with no faces, when the picture cannot be searched or
// memory runs out: then DetectFaces must search all stages.
bool DetectLargeFaces(QImage grey, int copyWidth, int copyHeight, std::vector<CFoundFace> &faces);
QSize CoarseFaceSearchSize(int copyWidth, int copyHeight);
// Whether the finer stages may still find faces a third of largest, the side of the largest
// face DetectLargeFaces found, or larger: then DetectFaces(copy, largest, true) must follow.
bool FinerFacesWanted(int largest);

// For tests: the detector's faces on a grey picture as one pyramid level, scored at least
// threshold (kFaceScoreThreshold for the search's), found by dlib's scanner on the whole
// features (bandRows 0) or in bands of bandRows feature rows as the search does; unmerged.
std::vector<CFoundFace> ScanFaceLevel(const QImage &grey, double threshold, long bandRows);

// Sets the detector up now unless a call has already; PrepareFaceFinder's work.
void PrepareFaceDetector();

} // namespace quorvel
