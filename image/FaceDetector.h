#pragma once
// The face detector behind FindFaces: the HOG frontal-face detector of dlib, which needs no data
// files. Only FaceDetector.cpp sees dlib, so the rest of the image layer builds without it.

#include "image/FaceFinder.h"

#include <cstdint>
#include <vector>

namespace quorvel {

// How much the grey search copy is enlarged before the detector sees it: the detector finds
// faces from 80 pixels up, so this finds them from 80 / kFaceUpsample pixels of the copy.
inline constexpr double kFaceUpsample = 2.0;

// The faces the detector finds on a grey picture (Format_Grayscale8, freed once copied), in that
// picture's pixels, unmerged and unsorted; scores of at least kFaceScoreThreshold. The first
// call sets the detector up. Faces under a third the size of one found at coarser scales are
// not looked for, which makes a portrait's search several times faster. Empty when the
// picture cannot be searched or memory runs out.
std::vector<CFoundFace> DetectFaces(QImage grey);

// Sets the detector up now unless a call has already; PrepareFaceFinder's work.
void PrepareFaceDetector();

} // namespace quorvel
